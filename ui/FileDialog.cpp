#include "FileDialog.h"

#include <QFileInfo>
#include <QHeaderView>
#include <QMessageBox>
#include <QTreeView>

namespace kestrin {

FileDialog::FileDialog(QWidget* owner, const FileDialogRequest& request)
    : QFileDialog(owner, request.title), mode_(request.mode) {
    // The rules below live in accept(), which a platform's native dialog bypasses.
    setOption(DontUseNativeDialog);
    setOption(HideNameFilterDetails);
    setNameFilter(request.filterName + " (" + request.filterPattern + ")");
    setDefaultSuffix(request.defaultSuffix);
    if (mode_ == FileDialogRequest::Mode::Open) {
        setAcceptMode(AcceptOpen);
        setFileMode(ExistingFile);
    } else {
        setAcceptMode(AcceptSave);
        setFileMode(AnyFile);
        setOption(DontConfirmOverwrite);  // asked below, after the read-only check
    }
    // Room for the size, type and date of a file, in the dialog's own font: the
    // columns follow their contents and the name takes the rest.
    if (auto* files = findChild<QTreeView*>("treeView")) {
        files->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
        files->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    }
    resize(fontMetrics().averageCharWidth() * 110, fontMetrics().lineSpacing() * 32);
}

void FileDialog::accept() {
    const QStringList typed = selectedFiles();
    if (typed.size() != 1 || typed.front().isEmpty() || QFileInfo(typed.front()).isDir()) {
        QFileDialog::accept();  // opens the folder, or waits for a name
        return;
    }
    const std::optional<QString> path = mode_ == FileDialogRequest::Mode::Open
                                            ? OpenablePath(typed.front())
                                            : WritablePath(typed.front());
    if (!path) return;
    chosen_ = *path;
    QDialog::accept();
}

std::optional<QString> FileDialog::OpenablePath(const QString& typed) {
    if (QFileInfo::exists(typed)) return typed;
    Warn(tr("%1\nFile not found.\nCheck the file name and try again.")
             .arg(QFileInfo(typed).fileName()));
    return std::nullopt;
}

std::optional<QString> FileDialog::WritablePath(const QString& typed) {
    const QFileInfo file(typed);
    if (!file.dir().exists()) {
        Warn(tr("%1\nThe folder does not exist.\nCheck the path and try again.").arg(typed));
        return std::nullopt;
    }
    if (!file.exists()) return typed;
    // The owner's write bit, not access(2): to root every file is writable.
    if (!file.permission(QFile::WriteOwner) || !file.isWritable()) {
        Warn(QString::fromStdU16String(ReadOnlyRefusal(file.fileName().toStdU16String())));
        return std::nullopt;
    }
    const auto answer = QMessageBox::warning(
        this, windowTitle(),
        tr("%1 already exists.\nDo you want to replace it?").arg(file.fileName()),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes) return std::nullopt;
    return typed;
}

void FileDialog::Warn(const QString& text) {
    QMessageBox::warning(this, windowTitle(), text);
}

}  // namespace kestrin
