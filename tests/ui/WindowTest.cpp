#include <QComboBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include "TestFiles.h"
#include "WindowUnderTest.h"

using kestrin::testing::WindowUnderTest;

namespace {

// The dialogue in the recorder's log, with each stretch of progress in the title
// told once as "title KSTN %".
QString Told(const QStringList& log) {
    return log.join(" | ").replace(QRegularExpression("(title KSTN [1-9][0-9]?%( \\| )?)+"),
                                   "title KSTN %\\2");
}

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    const QString log_ = dir_.filePath("access.log"), big_ = dir_.filePath("big.log");

  private slots:
    void initTestCase() {
        kestrin::testing::WriteFile(
            log_.toStdString(),
            "a \"http://b.example/x\" z\r\n\"http://a.example/\"\n-\rx\"http://b.example/x");
        // Big enough for the run to report progress on the way (every 16 MiB).
        std::string big = "x http://b.example/x y\r\n";
        for (std::string filler(63, '-'); big.size() < 40 << 20;) big += filler + '\n';
        kestrin::testing::WriteFile(big_.toStdString(), big + "http://a.example/");
    }

    // Steps: "log" and "save" are the ".." buttons, "menu..." the File menu,
    // "cancel..." a cancelled dialog, "drop [on save] URL..." a drop on the log
    // (or save) label, of text when there are no URLs. Expected: the log's path
    // and caption, the save path, Cutting, and "refused" for a drop not taken.
    void choicesDropsAndTheCuttingRule() {
        const QString remote = "http://example.com/a.log";
        const struct {
            QStringList steps;
            QString expected;
        } cases[] = {{{}, "|||off"},
                     {{"log"}, "/log|/log||off"},
                     {{"log", "save"}, "/log|/log|/save|on"},
                     {{"menu save", "menu log"}, "/menu log|/menu log|/menu save|on"},
                     {{"log", "save", "cancel log", "cancel save"}, "/log|/log|/save|on"},
                     {{"save", "drop file:///logs/a.log"}, "/logs/a.log|/logs/a.log|/save|on"},
                     {{"drop file:///a file:///b file:///c"}, "/c|/c||off"},
                     {{"drop"}, "|||off refused"},
                     {{"drop file:///a " + remote}, "|||off refused"},
                     {{"drop on save file:///a"}, "|||off refused"}};
        for (const auto& c : cases) {
            WindowUnderTest w;
            QString refused;
            for (const QString& step : c.steps) {
                const int index = step.endsWith("log") ? 0 : 1;
                const QString path = step.startsWith("cancel") ? "" : "/" + step;
                if (step.startsWith("drop")) {
                    const int label = step.startsWith("drop on save") ? 1 : 0;
                    if (!w.Drop(label,
                                step.section(' ', 1 + 2 * label).split(' ', Qt::SkipEmptyParts)))
                        refused = " refused";
                } else if (step.startsWith("menu")) {
                    w.desktop.files.push_back(path);
                    w.Find<QAction>(index == 0 ? "MENU_F_LOG" : "MENU_F_SAVE")->trigger();
                } else {
                    w.Choose(index, path);
                }
            }
            QCOMPARE(c.steps.join(", ") + ": " +
                         QStringList({w.File(0)->Tag(), w.File(0)->text(), w.File(1)->Tag(),
                                      w.Find("cmdCutting")->isEnabled() ? "on" : "off"})
                             .join('|') +
                         refused,
                     c.steps.join(", ") + ": " + c.expected);
        }
    }

    // A run (off the GUI thread) is framed by the busy state, the keyword is what the
    // box shows, a long run shows its progress in the title, and the run's message
    // comes once the window is back, so the same run repeats alike. An archive's
    // members passed over, and the reason an archive is not read, are the command
    // line's words.
    void runs() {
        const QString archives = KESTRIN_TEST_LOGS "/archives/";
        const QString save = dir_.filePath("report.dat");
        const QString asked = "Confirm [Question; Yes|No; default Yes] Sortting Data Output? | ";
        const QString done = "Complete [Information; Ok; default Ok] " + save + " done..\n\n";
        const QByteArray listing = "http://a.example/\t 1\r\nhttp://b.example/x\t 2\r\n";
        const QByteArray sorted =
            "*********** SORTTING DATA ************\r\n"
            "http://b.example/x\t 2\r\nhttp://a.example/\t 1\r\n";
        const struct {
            QString keyword;  // "entry N" picks list entry N; anything else is typed
            QMessageBox::StandardButton answer;
            QString log, during, message;  // what is told during the run and after it
            QByteArray report;
        } cases[] = {
            {"entry 1", QMessageBox::Yes, log_, asked,
             done + "4 lines, 3 with a URL, 2 distinct URLs", listing + sorted},
            {",", QMessageBox::No, log_, asked, done + "4 lines, 3 with a URL, 3 distinct URLs",
             "http://a.example/\"\t 1\r\nhttp://b.example/x\t 1\r\nhttp://b.example/x\" z\t 1\r\n"},
            // A character that is no byte of CP932 could never end a URL.
            {"\u00e9", QMessageBox::No, log_, "",
             "ERROR! [Warning; Ok; default Ok] Back Keyword is not ASCII", "(no report)"},
            {"entry 0", QMessageBox::No, big_,
             "title KSTN % | " + asked + "title KSTN % | title KSTN | ",
             done + "655362 lines, 2 with a URL, 2 distinct URLs",
             "http://a.example/\t 1\r\nhttp://b.example/x\t 1\r\n"},
            {"entry 0", QMessageBox::No, archives + "links.tar", asked,
             done +
                 "4 lines, 4 with a URL, 2 distinct URLs; 2 archive members skipped: 1 folder, 1 "
                 "symbolic link",
             "http://one/\t 2\r\nhttp://two/\t 2\r\n"},
            {"entry 0", QMessageBox::No, archives + "then-text.zip", "",
             "ERROR! [Critical; Ok; default Ok] Can't File Read!\n" + archives +
                 "then-text.zip\n\nthe zip archive is followed by text, not by another zip "
                 "archive",
             "(no report)"}};
        for (const auto& c : cases) {
            QFile::remove(save);
            WindowUnderTest w;
            w.Choose(0, c.log);
            w.Choose(1, save);
            w.desktop.log.clear();
            auto* box = w.Find<QComboBox>("cmbBackkey");
            if (c.keyword.startsWith("entry ")) box->setCurrentIndex(c.keyword.back().digitValue());
            if (!c.keyword.startsWith("entry ")) box->lineEdit()->setText(c.keyword);
            const QString name =
                QStringLiteral("keyword \"%1\", answer %2: ").arg(c.keyword).arg(c.answer);
            const QString dialogue = name + "wait cursor | disabled | minimized | " + c.during +
                                     "restored | normal cursor | enabled | " + c.message;
            for (int run = 0; run < 2; ++run) {
                QCOMPARE(name + w.Cut(c.answer), name + c.report);
                QCOMPARE(name + Told(w.desktop.log), dialogue);
                w.desktop.log.clear();
            }
        }
    }

    // Whatever font the window gets (this test runs with a Japanese gothic face and
    // with fonts that have no Japanese), every caption shows whole inside its control,
    // no two controls overlap, and the form's order stays.
    void captionsFitTheFont() {
        WindowUnderTest w;
        const QRect client = w.Find("client")->rect();
        const QStringList names = {
            "lblView(0)",       "lblFile(0)", "cmdSelectFile(0)", "lblView(1)", "lblFile(1)",
            "cmdSelectFile(1)", "lblView(2)", "cmbBackkey",       "cmdCutting", "cmdEND"};
        QStringList cut;
        for (const QString& name : names) {
            QWidget* control = w.Find(name);
            QString text = control->property("text").toString();
            int room = control->width();
            if (auto* box = qobject_cast<QComboBox*>(control)) {
                for (int i = 0; i < box->count(); ++i) {
                    box->setCurrentIndex(i);
                    const QLineEdit& edit = *box->lineEdit();
                    if (edit.fontMetrics().horizontalAdvance(edit.text()) > edit.width())
                        cut.append(name + " " + edit.text());
                }
                continue;
            }
            if (qobject_cast<QPushButton*>(control)) room -= 4;  // its frame
            if (control->fontMetrics().horizontalAdvance(text) > room) cut.append(name);
            if (!client.contains(control->geometry())) cut.append(name + " outside");
        }
        for (int i = 1; i < names.size(); ++i) {
            const QRect before = w.Find(names[i - 1])->geometry(),
                        after = w.Find(names[i])->geometry();
            // The form lets some neighbours share a pixel's column, no more.
            if (before.top() == after.top() && before.right() > after.left())
                cut.append(names[i - 1] + " over " + names[i]);
        }
        QCOMPARE(cut.join(", "), QString());
    }

    // The Options menu, between File and HELP, holds the report's entries as a radio
    // group: it starts where it was left, a choice is kept, and a run writes the
    // report kestrin-cut --group writes.
    void theOptionsMenuChoosesTheEntries() {
        const QString log = dir_.filePath("sites.log"), save = dir_.filePath("sites.dat");
        kestrin::testing::WriteFile(
            log.toStdString(), "\"http://www.google.co.jp/a\"\n\"http://News.Google.co.jp:80/\"\n");
        WindowUnderTest w(kestrin::Grouping::Site);
        QStringList menus;
        for (QAction* menu : w.window.menuBar()->actions()) menus.append(menu->text());
        QCOMPARE(menus, QStringList({"File(&F)", "Options(&O)", "HELP(&H)"}));
        const auto checked = [&] {
            QStringList items;
            for (const char* name : {"MENU_O_URLS", "MENU_O_HOSTS", "MENU_O_SITES"})
                items.append(w.Find<QAction>(name)->text() +
                             (w.Find<QAction>(name)->isChecked() ? " on" : " off"));
            return items.join(", ");
        };
        QCOMPARE(checked(), QString("URLs(&U) off, Hosts(&H) off, Sites(&S) on"));
        w.Choose(0, log);
        w.Choose(1, save);
        w.Find<QComboBox>("cmbBackkey")->setCurrentIndex(1);
        QCOMPARE(w.Cut(QMessageBox::No), QByteArray("http://google.co.jp\t 2\r\n"));
        w.desktop.log.clear();
        w.Find<QAction>("MENU_O_HOSTS")->trigger();
        QCOMPARE(checked(), QString("URLs(&U) off, Hosts(&H) on, Sites(&S) off"));
        QCOMPARE(w.desktop.log, QStringList({"remember host"}));
        QCOMPARE(w.Cut(QMessageBox::No),
                 QByteArray("http://news.google.co.jp\t 1\r\nhttp://www.google.co.jp\t 1\r\n"));
        w.Find<QAction>("MENU_O_URLS")->trigger();
        QCOMPARE(w.desktop.remembered, kestrin::Grouping::Url);
        QCOMPARE(
            w.Cut(QMessageBox::No),
            QByteArray("http://News.Google.co.jp:80/\t 1\r\nhttp://www.google.co.jp/a\t 1\r\n"));
    }

    // Logs of over 32 MiB in every compressed form and archive read (made once for
    // the tests) give the window the plain log's report.
    void bigCompressedLogs() {
        const QString big = KESTRIN_BIG_LOGS, save = dir_.filePath("big.dat");
        QByteArray plain;
        for (const char* form : {"big.log", "big.log.gz", "big.log.zst", "big.log.xz",
                                 "big.log.bz2", "big.log.lz4", "big.zip", "big.tar.gz"}) {
            QFile::remove(save);
            WindowUnderTest w;
            w.Choose(0, big + "/" + form);
            w.Choose(1, save);
            const QByteArray report = w.Cut(QMessageBox::Yes);
            if (plain.isEmpty()) plain = report;
            QVERIFY2(plain.size() > 100000 && report == plain, form);
            QVERIFY2(w.desktop.log.filter("Complete").size() == 1, form);
        }
    }
};

QTEST_MAIN(WindowTest)
#include "WindowTest.moc"
