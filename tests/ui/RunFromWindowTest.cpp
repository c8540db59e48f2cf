#include <QComboBox>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include "WindowUnderTest.h"

using kestrin::testing::WindowUnderTest;
using kestrin::testing::WriteFile;

class RunFromWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        QVERIFY(dir_.isValid());
        log_ = dir_.filePath("access.log");
        save_ = dir_.filePath("report.dat");
        WriteFile(log_.toStdString(),
                  "a \"http://b.example/x\" z\r\n\"http://a.example/\"\n-\rx\"http://b.example/x");
        QFile::remove(save_);
    }

    void aRunTalliesTheLogWhileTheWindowIsBusy_data() {
        QTest::addColumn<bool>("yes");
        QTest::addColumn<QByteArray>("report");
        const QByteArray listing = "http://a.example/\t 1\r\nhttp://b.example/x\t 2\r\n";
        QTest::newRow("answered No") << false << listing;
        QTest::newRow("answered Yes") << true
                                      << listing +
                                             "*********** SORTTING DATA ************\r\n"
                                             "http://b.example/x\t 2\r\nhttp://a.example/\t 1\r\n";
    }

    void aRunTalliesTheLogWhileTheWindowIsBusy() {
        QFETCH(bool, yes);
        QFETCH(QByteArray, report);
        WindowUnderTest w;
        Prepare(w, "entry 1");
        QCOMPARE(w.Cut(yes ? QMessageBox::Yes : QMessageBox::No), report);
        const QStringList dialogue = {
            "wait cursor",
            "disabled",
            "minimized",
            "Confirm [Question; Yes|No; default Yes] Sortting Data Output?",
            "Complete [Information; Ok; default Ok] " + save_ + " done..",
            "restored",
            "normal cursor",
            "enabled"};
        QCOMPARE(w.desktop.log.join(" | "), dialogue.join(" | "));
        for (QWidget* owner : w.desktop.owners) QCOMPARE(owner, &w.window);

        // Idle again with everything as it was: the same run repeats at once.
        QVERIFY(w.CuttingEnabled() && w.window.isEnabled() && !w.window.isMinimized());
        QCOMPARE(w.Cut(yes ? QMessageBox::Yes : QMessageBox::No), report);
    }

    // "entry N" picks list entry N; anything else is typed into the box.
    void theKeywordIsWhatTheBoxShows_data() {
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QByteArray>("outcome");
        const QByteArray notAscii = "ERROR! [Warning; Ok; default Ok] Back Keyword is not ASCII";
        QTest::newRow("entry Space") << "entry 0" << QByteArray("http://k/a,b\"c\t 1\r\n");
        QTest::newRow("typed Space") << "Space" << QByteArray("http://k/a,b\"c\t 1\r\n");
        QTest::newRow("entry quote") << "entry 1" << QByteArray("http://k/a,b\t 1\r\n");
        QTest::newRow("entry comma") << "entry 2" << QByteArray("http://k/a\t 1\r\n");
        QTest::newRow("typed comma") << "," << QByteArray("http://k/a\t 1\r\n");
        QTest::newRow("typed space") << "space" << notAscii;
        QTest::newRow("typed nothing") << "" << notAscii;
    }

    void theKeywordIsWhatTheBoxShows() {
        QFETCH(QString, keyword);
        QFETCH(QByteArray, outcome);
        WriteFile(log_.toStdString(), "x http://k/a,b\"c d\r\n");
        WindowUnderTest w;
        Prepare(w, keyword);
        const QByteArray report = w.Cut();
        const QStringList errors = w.desktop.log.filter("ERROR!");
        QCOMPARE(errors.isEmpty() ? report : errors.join('\n').toUtf8(), outcome);
    }

    void aDroppedFolderIsNotFound() {
        WindowUnderTest w;
        w.Drop(0, {QUrl::fromLocalFile(dir_.path()).toString()});
        w.Choose(1, save_);
        w.Cut();
        QCOMPARE(w.desktop.log.filter("ERROR!").join(" | "),
                 "ERROR! [Critical; Ok; default Ok] File Not Found!\n" + dir_.path());
        QVERIFY(!QFile::exists(save_) && w.window.isEnabled());
    }

    void aboutShowsFiveLinesAndQuitEndsWithoutAWord() {
        WindowUnderTest w;
        w.Menu("MENU_H_INDEX");
        const QString about = w.desktop.log.join(" | ");
        QVERIFY2(about.startsWith("About Kestrin [NoIcon; Ok; default Ok] "), qPrintable(about));
        const QStringList lines = about.section("] ", 1).split('\n');
        QVERIFY(lines.size() == 5 && lines[0].endsWith(" V0.3") && lines[3].isEmpty());

        w.desktop.log.clear();
        w.Click("cmdEND");
        w.Menu("MENU_F_QUIT");
        QCOMPARE(w.desktop.endProgramCalls, 2);
        QCOMPARE(w.desktop.log.join(" | "), QString());
    }

  private:
    void Prepare(WindowUnderTest& w, const QString& keyword) {
        w.Choose(0, log_);
        w.Choose(1, save_);
        auto* box = w.Find<QComboBox>("cmbBackkey");
        if (keyword.startsWith("entry ")) {
            box->setCurrentIndex(keyword.section(' ', 1).toInt());
        } else {
            box->lineEdit()->setText(keyword);
        }
    }

    QTemporaryDir dir_;
    QString log_, save_;
};

QTEST_MAIN(RunFromWindowTest)
#include "RunFromWindowTest.moc"
