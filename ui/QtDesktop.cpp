#include "QtDesktop.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>

#include "FileDialog.h"

namespace kestrin {

namespace {

// Kept across starts, in the settings of the organization and application names.
const QString kLastFolder = QStringLiteral("FileDialogs/LastFolder");
const QString kGrouping = QStringLiteral("Options/Entries");

}  // namespace

QString QtDesktop::ChooseFile(QWidget* owner, const FileDialogRequest& request) {
    QSettings settings;
    FileDialog dialog(owner, request);
    for (const QString& folder :
         {request.chosen.isEmpty() ? QString() : QFileInfo(request.chosen).absolutePath(),
          settings.value(kLastFolder).toString()}) {
        if (!folder.isEmpty() && QFileInfo(folder).isDir()) {
            dialog.setDirectory(folder);
            break;
        }
    }
    if (dialog.exec() != QDialog::Accepted) return {};
    settings.setValue(kLastFolder, QFileInfo(dialog.ChosenPath()).absolutePath());
    return dialog.ChosenPath();
}

QMessageBox::StandardButton QtDesktop::ShowMessageBox(QWidget* owner,
                                                      const MessageBoxRequest& request) {
    QMessageBox box(request.icon, request.title, request.text, request.buttons, owner);
    box.setTextFormat(Qt::PlainText);  // paths may hold '<' and '&'
    box.setDefaultButton(request.defaultButton);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void QtDesktop::EndProgram() {
    QCoreApplication::exit(0);
}

// Kept by the name kestrin-cut's --group takes.
Grouping QtDesktop::RememberedGrouping() {
    const QString name = QSettings().value(kGrouping).toString();
    for (const Grouping grouping : {Grouping::Host, Grouping::Site})
        if (name == EntryName(grouping)) return grouping;
    return Grouping::Url;
}

void QtDesktop::RememberGrouping(Grouping grouping) {
    QSettings().setValue(kGrouping, QString(EntryName(grouping)));
}

}  // namespace kestrin
