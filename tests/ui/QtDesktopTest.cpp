#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

#include "FileChoice.h"
#include "QtDesktop.h"
#include "WindowUnderTest.h"

using kestrin::FileDialogRequestFor;
using kestrin::QtDesktop;

namespace {

// Runs `act` on the next modal window other than `shown`, once it is up: a modal
// dialog blocks its caller, so what the user does in it comes from a timer.
void WhenModal(std::function<void(QWidget*)> act, QWidget* shown = nullptr) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [=] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || modal == shown || !modal->isVisible()) return;
        poll->deleteLater();
        poll->stop();
        act(modal);
    });
    poll->start(10);
}

// Types `name` into a file dialog and presses its Open or Save button.
void Type(QWidget* dialog, const QString& name) {
    auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
    dialog->activateWindow();
    edit->setFocus();
    QTRY_VERIFY(edit->hasFocus());  // the dialog follows typing only when it has the focus
    edit->selectAll();
    QTest::keyClicks(edit, name);
    auto* buttons = dialog->findChild<QDialogButtonBox*>("buttonBox");
    QPushButton* accept = buttons->button(QDialogButtonBox::Open);
    if (accept == nullptr) accept = buttons->button(QDialogButtonBox::Save);
    accept->click();
}

// Presses `button` in the message box that `dialog` shows next, keeping its text.
void Answer(QWidget* dialog, QMessageBox::StandardButton button, QString* text) {
    auto press = [=](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        *text = box->text();
        box->button(button)->click();
    };
    WhenModal(press, dialog);
}

}  // namespace

class QtDesktopTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        for (const char* name : {"README", "access.LOG", "old.dat", "locked.dat"}) {
            kestrin::testing::WriteFile(dir_.filePath(name).toStdString(), "x");
        }
        QFile::setPermissions(dir_.filePath("locked.dat"), QFile::ReadOwner | QFile::ReadGroup);
    }

    void aMessageBoxTakesInputWhileItsOwnerIsBusy() {
        QMainWindow owner;
        owner.show();
        owner.setEnabled(false);
        owner.showMinimized();
        QString seen;
        WhenModal([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            seen = QStringLiteral("%1|%2|%3|%4")
                       .arg(box->windowTitle(), box->text())
                       .arg(box->defaultButton() == box->button(QMessageBox::Yes))
                       .arg(box->parentWidget() == &owner && box->isEnabled());
            box->button(QMessageBox::No)->click();
        });
        QCOMPARE(QtDesktop().ShowMessageBox(&owner,
                                            {"two\nlines <b>", "Confirm", QMessageBox::Question,
                                             QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes}),
                 QMessageBox::No);
        QCOMPARE(seen, QString("Confirm|two\nlines <b>|1|1"));
    }

    void theOpenDialogListsEveryFileAndTakesItAsNamed() {
        QString shown;
        WhenModal([&](QWidget* dialog) {
            auto* files = qobject_cast<QFileDialog*>(dialog);
            shown = files->windowTitle() + " " + files->nameFilters().join(';');
            files->setDirectory(dir_.path());
            auto* model = files->findChild<QFileSystemModel*>();
            QTRY_COMPARE(model->rowCount(model->index(dir_.path())), 4);
            Type(dialog, "README");
        });
        QCOMPARE(QtDesktop().ChooseFile(nullptr, FileDialogRequestFor(0)), dir_.filePath("README"));
        QCOMPARE(shown, QString("LOG FILE ALL (*)"));

        WhenModal([&](QWidget* dialog) { qobject_cast<QDialog*>(dialog)->reject(); });
        QCOMPARE(QtDesktop().ChooseFile(nullptr, FileDialogRequestFor(0)), QString());
    }

    void theSaveDialogAddsDatAsksBeforeReplacingAndRefusesReadOnly() {
        QString title, refused, asked;
        WhenModal([&](QWidget* dialog) {
            title = dialog->windowTitle();
            qobject_cast<QFileDialog*>(dialog)->setDirectory(dir_.path());
            Answer(dialog, QMessageBox::Ok, &refused);
            Type(dialog, "locked.dat");
            Answer(dialog, QMessageBox::No, &asked);
            Type(dialog, "old.dat");
            Type(dialog, "report");
        });
        QCOMPARE(QtDesktop().ChooseFile(nullptr, FileDialogRequestFor(1)),
                 dir_.filePath("report.dat"));
        QCOMPARE(title, QString("SAVE.."));
        QVERIFY2(refused.contains("read-only"), qPrintable(refused));
        QVERIFY2(asked.startsWith("old.dat already exists"), qPrintable(asked));

        WhenModal([&](QWidget* dialog) {
            qobject_cast<QFileDialog*>(dialog)->setDirectory(dir_.path());
            Answer(dialog, QMessageBox::Yes, &asked);
            Type(dialog, "old.dat");
        });
        QCOMPARE(QtDesktop().ChooseFile(nullptr, FileDialogRequestFor(1)),
                 dir_.filePath("old.dat"));
    }

  private:
    QTemporaryDir dir_;
};

QTEST_MAIN(QtDesktopTest)
#include "QtDesktopTest.moc"
