#include <QApplication>
#include <QDialogButtonBox>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "FileChoice.h"
#include "FileDialog.h"
#include "QtDesktop.h"
#include "TestFiles.h"

using kestrin::QtDesktop;

namespace {

// Runs `act` on the next modal window other than `shown`, once it is up: a modal
// dialog blocks its caller, so what the user does in it comes from a timer.
template <typename Modal>
void WhenModal(std::function<void(Modal*)> act, QWidget* shown = nullptr) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [=] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || modal == shown || !modal->isVisible()) return;
        poll->deleteLater();
        poll->stop();
        act(qobject_cast<Modal*>(modal));
    });
    poll->start(10);
}

// Types `file` into the file dialog and presses its Open or Save button; the message box this
// brings up, if any, is answered `button` and its text kept in `boxText`.
void Pick(QFileDialog* dialog, const QString& file,
          QMessageBox::StandardButton button = QMessageBox::NoButton, QString* boxText = nullptr) {
    if (boxText != nullptr) {
        WhenModal<QMessageBox>(
            [=](QMessageBox* box) {
                *boxText = box->text();
                box->button(button)->click();
            },
            dialog);
    }
    auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
    dialog->activateWindow();
    edit->setFocus();
    QTRY_VERIFY(edit->hasFocus());  // the dialog follows typing only when it has the focus
    edit->selectAll();
    QTest::keyClicks(edit, file);
    auto* buttons = dialog->findChild<QDialogButtonBox*>("buttonBox");
    for (auto accept : {QDialogButtonBox::Open, QDialogButtonBox::Save})
        if (buttons->button(accept)) buttons->button(accept)->click();
}

}  // namespace

class QtDesktopTest : public QObject {
    Q_OBJECT

    QTemporaryDir settings_;

  private slots:
    void initTestCase() {  // the dialogs remember their folder: not in the user's settings
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings_.path());
    }

    // The open dialog takes a name without a dot as it is; the save dialog adds
    // ".dat", refuses a read-only file and asks before replacing another. Each opens
    // in the folder of the file it chose before, else in the one last chosen from.
    void fileDialogs() {
        QTemporaryDir dir;
        for (const char* name : {"README", "old.dat", "locked.dat"})
            kestrin::testing::WriteFile(dir.filePath(name).toStdString(), "x");
        QFile::setPermissions(dir.filePath("locked.dat"), QFile::ReadOwner | QFile::ReadGroup);
        QString shown, refused, asked;
        QStringList folders;
        const auto choose = [&](int index, std::function<void(QFileDialog*)> act,
                                const QString& chosen = "") {
            WhenModal<QFileDialog>([&, act, index](QFileDialog* files) {
                shown = files->windowTitle() + " " + files->nameFilters().join(';');
                folders.append(files->directory().absolutePath());
                files->setDirectory(dir.path());
                auto* model = files->findChild<QFileSystemModel*>();
                QTRY_COMPARE(model->rowCount(model->index(dir.path())), index == 0 ? 3 : 2);
                act(files);
            });
            kestrin::FileDialogRequest request =
                kestrin::FileDialogRequestFor(kestrin::PathBox(index));
            request.chosen = chosen;
            return QtDesktop().ChooseFile(nullptr, request);
        };
        QCOMPARE(choose(0, [](QFileDialog* d) { Pick(d, "README"); }), dir.filePath("README"));
        QCOMPARE(shown, QString("LOG FILE ALL (*)"));
        QCOMPARE(choose(0, [](QFileDialog* d) { d->reject(); }), QString());
        QCOMPARE(choose(1,
                        [&](QFileDialog* d) {
                            Pick(d, "locked.dat", QMessageBox::Ok, &refused);
                            Pick(d, "old.dat", QMessageBox::No, &asked);
                            Pick(d, "report");
                        }),
                 dir.filePath("report.dat"));
        QCOMPARE(shown, QString("SAVE.. DATA SAVE FILE (*.dat)"));
        QVERIFY2(refused.contains("read-only"), qPrintable(refused));
        QVERIFY2(asked.startsWith("old.dat already exists"), qPrintable(asked));
        QCOMPARE(
            choose(
                1, [&](QFileDialog* d) { Pick(d, "old.dat", QMessageBox::Yes, &asked); }, "/x.dat"),
            dir.filePath("old.dat"));
        QCOMPARE(folders.mid(1), QStringList({dir.path(), dir.path(), "/"}));
    }

    // The Options menu's choice is kept across starts, in Kestrin's settings file
    // by the name --group takes.
    void theEntriesChosenAreKept() {
        QCoreApplication::setOrganizationName("Kestrin");
        QCoreApplication::setApplicationName("Kestrin");
        QCOMPARE(QtDesktop().RememberedGrouping(), kestrin::Grouping::Url);
        for (const kestrin::Grouping grouping :
             {kestrin::Grouping::Site, kestrin::Grouping::Host, kestrin::Grouping::Url}) {
            QtDesktop().RememberGrouping(grouping);
            QCOMPARE(QtDesktop().RememberedGrouping(), grouping);
            const QString file = settings_.filePath("Kestrin/Kestrin.conf");
            QCOMPARE(QSettings(file, QSettings::IniFormat).value("Options/Entries").toString(),
                     QString(kestrin::EntryName(grouping)));
        }
    }
};

QTEST_MAIN(QtDesktopTest)
#include "QtDesktopTest.moc"
