#include <QTest>

#include "WindowUnderTest.h"

using kestrin::FileDialogRequest;
using kestrin::testing::WindowUnderTest;

class FileChoiceTest : public QObject {
    Q_OBJECT

  private slots:
    // Steps: "log" and "save" are the ".." buttons, "menu log" and "menu save" the
    // File menu, "cancel log" and "cancel save" a cancelled dialog, "drop" a file
    // dropped on the log label.
    void cuttingEnablesOnceBothPathsAreNamed_data() {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("nothing chosen") << QStringList{} << false;
        QTest::newRow("log only") << QStringList{"log"} << false;
        QTest::newRow("save only") << QStringList{"save"} << false;
        QTest::newRow("log, then save") << QStringList{"log", "save"} << true;
        QTest::newRow("save, then log") << QStringList{"save", "log"} << true;
        QTest::newRow("menu save, then menu log") << QStringList{"menu save", "menu log"} << true;
        QTest::newRow("save, then drop") << QStringList{"save", "drop"} << true;
        QTest::newRow("only cancelled") << QStringList{"cancel log", "cancel save"} << false;
        QTest::newRow("both, then cancelled")
            << QStringList{"log", "save", "cancel log", "cancel save"} << true;
    }

    void cuttingEnablesOnceBothPathsAreNamed() {
        QFETCH(QStringList, steps);
        QFETCH(bool, enabled);
        WindowUnderTest w;
        for (const QString& step : steps) {
            const int index = step.endsWith("log") ? 0 : 1;
            if (step == "drop") {
                w.Drop(0, {"file:///logs/dropped.log"});
            } else if (step.startsWith("menu")) {
                w.desktop.files.push_back("/chosen/by/menu");
                w.Menu(index == 0 ? "MENU_F_LOG" : "MENU_F_SAVE");
            } else {
                w.Choose(index, step.startsWith("cancel") ? "" : "/chosen/by/button");
            }
        }
        QCOMPARE(w.CuttingEnabled(), enabled);
        QCOMPARE(w.desktop.log.join(" | "), QString());
    }

    void eachWayOfChoosingAsksForItsDialog() {
        WindowUnderTest w;
        w.Choose(0, "");
        w.Menu("MENU_F_LOG");
        w.Choose(1, "");
        w.Menu("MENU_F_SAVE");
        QStringList asked;
        for (const FileDialogRequest& d : w.desktop.dialogs) {
            asked.append(QStringList{d.mode == FileDialogRequest::Mode::Open ? "open" : "save",
                                     d.title, d.filterName, d.filterPattern, d.defaultSuffix}
                             .join(' '));
        }
        QCOMPARE(asked, QStringList({"open LOG FILE ALL * ", "open LOG FILE ALL * ",
                                     "save SAVE.. DATA SAVE FILE *.dat dat",
                                     "save SAVE.. DATA SAVE FILE *.dat dat"}));
        for (QWidget* owner : w.desktop.owners) QCOMPARE(owner, &w.window);
    }

    void aChosenPathIsKeptExactlyAndACancelKeepsIt() {
        WindowUnderTest w;
        for (QString path : {"/logs/access.LOGS", "/logs/access", "/ログ/アクセス <&>.log"}) {
            w.Choose(0, path);
            w.Choose(0, "");
            QCOMPARE(w.File(0)->Tag(), path);
            QCOMPARE(w.File(0)->text(), path);
        }
        const QString path = "/var/log/" + QString("very-long-folder-name/").repeated(12) + "x.log";
        w.Choose(1, path);
        QCOMPARE(w.File(1)->Tag(), path);
        QCOMPARE(w.File(1)->toolTip(), path);
        QVERIFY(w.File(1)->text().size() < path.size() && w.File(1)->text().endsWith("x.log"));
        QVERIFY(w.File(1)->fontMetrics().horizontalAdvance(w.File(1)->text()) <=
                w.File(1)->contentsRect().width());
    }

    void onlyAFileListDroppedOnTheLogLabelNamesTheLog_data() {
        QTest::addColumn<int>("label");
        QTest::addColumn<QStringList>("urls");
        QTest::addColumn<QString>("log");
        const QString a = "file:///logs/a.log", remote = "http://example.com/a.log";
        QTest::newRow("one file") << 0 << QStringList{a} << "/logs/a.log";
        QTest::newRow("three files") << 0 << QStringList{a, "file:///b", "file:///c"} << "/c";
        QTest::newRow("a folder") << 0 << QStringList{"file:///logs/"} << "/logs/";
        QTest::newRow("text") << 0 << QStringList{} << "";
        QTest::newRow("a remote URL") << 0 << QStringList{remote} << "";
        QTest::newRow("files and a remote URL") << 0 << QStringList{a, remote} << "";
        QTest::newRow("on the save label") << 1 << QStringList{a} << "";
    }

    void onlyAFileListDroppedOnTheLogLabelNamesTheLog() {
        QFETCH(int, label);
        QFETCH(QStringList, urls);
        QFETCH(QString, log);
        WindowUnderTest w;
        QCOMPARE(w.Drop(label, urls, "/logs/a.log"), !log.isEmpty());
        QCOMPARE(w.File(0)->Tag(), log);
        QCOMPARE(w.File(0)->text(), log);
        QCOMPARE(w.File(1)->Tag(), QString());
    }
};

QTEST_MAIN(FileChoiceTest)
#include "FileChoiceTest.moc"
