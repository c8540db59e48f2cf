#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "TestFiles.h"
#include "WindowUnderTest.h"

using kestrin::testing::WindowUnderTest;

namespace {

// The focused control, then where each Tab goes; the keyword box's line edit
// stands for the box.
QStringList FocusWalk(int stops) {
    QStringList walk;
    for (int i = 0; i < stops && QApplication::focusWidget(); ++i) {
        QWidget* focus = QApplication::focusWidget();
        walk.append(focus->objectName().isEmpty() ? focus->parentWidget()->objectName()
                                                  : focus->objectName());
        QTest::keyClick(focus, Qt::Key_Tab);
    }
    return walk;
}

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT

  private slots:
    void layout() {
        WindowUnderTest w;
        const struct {
            QString name;
            QRect geometry;  // the layout's twips divided by 15
            QString caption;
        } controls[] = {{"lblView(0)", {8, 8, 65, 17}, "MasterLog"},
                        {"lblFile(0)", {72, 8, 425, 17}, ""},
                        {"cmdSelectFile(0)", {496, 8, 25, 17}, ".."},
                        {"lblView(1)", {8, 32, 65, 17}, "SaveFile"},
                        {"lblFile(1)", {72, 32, 425, 17}, ""},
                        {"cmdSelectFile(1)", {496, 32, 25, 17}, ".."},
                        {"lblView(2)", {208, 56, 81, 17}, "Back Keyword"},
                        {"cmbBackkey", {288, 56, 57, 20}, "Space"},
                        {"cmdCutting", {352, 56, 81, 17}, "Cutting"},
                        {"cmdEND", {440, 56, 81, 17}, "Quit"}};
        for (const auto& c : controls) {  // in 9 points on the client area; no default button
            QWidget* control = w.Find(c.name);
            const char* text = control->inherits("QComboBox") ? "currentText" : "text";
            QCOMPARE(std::tuple(c.name, control->geometry(), control->property(text).toString(),
                                control->font().pointSize(),
                                control->parentWidget() == w.window.centralWidget(),
                                control->property("default").toBool() ||
                                    control->property("autoDefault").toBool()),
                     std::tuple(c.name, c.geometry, c.caption, 9, true, false));
        }
        const int menuBar = w.window.menuBar()->height();
        QCOMPARE(w.window.windowTitle(), QString("KSTN"));
        QCOMPARE(w.window.centralWidget()->geometry(), QRect(0, menuBar, 528, 78));
        QCOMPARE(w.window.minimumSize(), w.window.maximumSize());
        QCOMPARE(w.window.size(), QSize(528, 78 + menuBar));
        auto* keyword = w.Find<QComboBox>("cmbBackkey");
        QStringList entries;
        for (int i = 0; i < keyword->count(); ++i) entries.append(keyword->itemText(i));
        QCOMPARE(entries, QStringList({"Space", "\"", ","}));
        QVERIFY(keyword->isEditable());

        QStringList menus;
        for (QAction* menu : w.window.menuBar()->actions()) {
            menus.append(menu->text() + ":");
            for (QAction* item : menu->menu()->actions())
                menus.last() += ' ' + (item->isSeparator() ? "-" : item->text());
        }
        QCOMPARE(menus, QStringList({"File(&F): LogFile(&L) SaveFile(&S) - Quit(&Q)",
                                     "HELP(&H): About .."}));

        w.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w.window));
        QCOMPARE(FocusWalk(5), QStringList({"cmdSelectFile(0)", "cmdSelectFile(1)", "cmdEND",
                                            "cmbBackkey", "cmdSelectFile(0)"}));
        w.Choose(0, "log");  // Cutting joins the walk once enabled
        w.Choose(1, "save");
        w.Find("cmdSelectFile(0)")->setFocus();
        QCOMPARE(FocusWalk(5), QStringList({"cmdSelectFile(0)", "cmdSelectFile(1)", "cmdCutting",
                                            "cmdEND", "cmbBackkey"}));
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
                     {{"save"}, "||/save|off"},
                     {{"log", "save"}, "/log|/log|/save|on"},
                     {{"menu save", "menu log"}, "/menu log|/menu log|/menu save|on"},
                     {{"cancel log", "cancel save"}, "|||off"},
                     {{"log", "save", "cancel log", "cancel save"}, "/log|/log|/save|on"},
                     {{"save", "drop file:///logs/a.log"}, "/logs/a.log|/logs/a.log|/save|on"},
                     {{"drop file:///a file:///b file:///c"}, "/c|/c||off"},
                     {{"drop file:///logs/"}, "/logs/|/logs/||off"},
                     {{"drop"}, "|||off refused"},
                     {{"drop " + remote}, "|||off refused"},
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
                    w.Menu(index == 0 ? "MENU_F_LOG" : "MENU_F_SAVE");
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

    // Each way of choosing asks for its dialog, told the file it chose before; a
    // chosen path is kept and shown exactly, drawn in a face that has its
    // characters, shortened clear of the ".." beside it; a cancel keeps it.
    void choosingAFile() {
        WindowUnderTest w;
        const QString log = "/ログ/アクセス <&>.log";
        const QString save = "/var/" + QString("very-long-folder-name/").repeated(12) + "x.log";
        w.Choose(0, log);
        w.desktop.files = {"", save};
        w.Menu("MENU_F_LOG");
        w.Menu("MENU_F_SAVE");
        w.Choose(1, "");
        QCOMPARE(w.desktop.log,
                 QStringList({"open LOG FILE [ALL (*) .]", "open LOG FILE [ALL (*) .] after " + log,
                              "save SAVE.. [DATA SAVE FILE (*.dat) .dat]",
                              "save SAVE.. [DATA SAVE FILE (*.dat) .dat] after " + save}));
        QCOMPARE(w.File(0)->Tag() + '|' + w.File(0)->text(), log + '|' + log);
        for (QChar c : log) QVERIFY2(w.File(0)->fontMetrics().inFont(c), qPrintable(c));
        QCOMPARE(w.File(1)->Tag() + '|' + w.File(1)->toolTip(), save + '|' + save);
        QVERIFY(w.File(1)->text().size() < save.size() && w.File(1)->text().endsWith("x.log"));
        QVERIFY(w.File(1)->fontMetrics().horizontalAdvance(w.File(1)->text()) <=
                w.File(1)->contentsRect().width() - 2 * w.File(1)->indent());
    }

    // A run is framed by the busy state; the keyword is what the box shows; the
    // window is idle again after it, and the same run repeats alike.
    void runs() {
        QTemporaryDir dir;
        const QString log = dir.filePath("access.log"), save = dir.filePath("report.dat");
        kestrin::testing::WriteFile(
            log.toStdString(),
            "a \"http://b.example/x\" z\r\n\"http://a.example/\"\n-\rx\"http://b.example/x");
        const QString asked = "Confirm [Question; Yes|No; default Yes] Sortting Data Output? | ";
        const QString done = "Complete [Information; Ok; default Ok] " + save + " done..";
        const QByteArray listing = "http://a.example/\t 1\r\nhttp://b.example/x\t 2\r\n";
        const QByteArray sorted =
            "*********** SORTTING DATA ************\r\n"
            "http://b.example/x\t 2\r\nhttp://a.example/\t 1\r\n";
        const QByteArray comma =
            "http://a.example/\"\t 1\r\nhttp://b.example/x\t 1\r\nhttp://b.example/x\" z\t 1\r\n";
        const struct {
            QString keyword;  // "entry N" picks list entry N; anything else is typed
            QMessageBox::StandardButton answer;
            QString log, messages;
            QByteArray report;
        } cases[] = {
            {"entry 1", QMessageBox::Yes, log, asked + done, listing + sorted},
            {",", QMessageBox::No, log, asked + done, comma},
            {"", QMessageBox::Yes, log,
             "ERROR! [Warning; Ok; default Ok] Back Keyword is not ASCII", "(no report)"},
            {"entry 0", QMessageBox::Yes, log + "x",
             "ERROR! [Critical; Ok; default Ok] File Not Found!\n" + log + "x", "(no report)"}};
        for (const auto& c : cases) {
            QFile::remove(save);
            WindowUnderTest w;
            w.desktop.files = {c.log, save};
            w.Click("cmdSelectFile(0)");
            w.Click("cmdSelectFile(1)");
            w.desktop.log.clear();
            auto* box = w.Find<QComboBox>("cmbBackkey");
            if (c.keyword.startsWith("entry ")) box->setCurrentIndex(c.keyword.back().digitValue());
            if (!c.keyword.startsWith("entry ")) box->lineEdit()->setText(c.keyword);
            const QString name =
                QStringLiteral("keyword \"%1\", answer %2: ").arg(c.keyword).arg(c.answer);
            const QString dialogue = name + "wait cursor | disabled | minimized | " + c.messages +
                                     " | restored | normal cursor | enabled";
            for (int run = 0; run < 2; ++run) {
                QCOMPARE(name + w.Cut(c.answer), name + c.report);
                QCOMPARE(name + w.desktop.log.join(" | "), dialogue);
                w.desktop.log.clear();
            }
        }
    }

    void quitEndsWithoutAWord() {
        WindowUnderTest w;
        w.Click("cmdEND");
        w.Menu("MENU_F_QUIT");
        QCOMPARE(w.desktop.endProgramCalls, 2);
        QCOMPARE(w.desktop.log, QStringList());
    }
};

QTEST_MAIN(WindowTest)
#include "WindowTest.moc"
