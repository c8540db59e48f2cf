#include "QtDesktop.h"

#include <QCoreApplication>

#include "FileDialog.h"

namespace kestrin {

QString QtDesktop::ChooseFile(QWidget* owner, const FileDialogRequest& request) {
    FileDialog dialog(owner, request);
    if (dialog.exec() != QDialog::Accepted) return {};
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

}  // namespace kestrin
