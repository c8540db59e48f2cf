#pragma once

#include <QFileDialog>
#include <optional>

#include "Desktop.h"

namespace kestrin {

/// Qt's own file dialog with the rules of Kestrin's two dialogs: the open dialog
/// takes only an existing file, exactly as named; the save dialog appends the
/// default suffix to a name without a dot, needs an existing folder, refuses a
/// read-only file and asks before replacing any other file.
class FileDialog : public QFileDialog {
    Q_OBJECT

  public:
    FileDialog(QWidget* owner, const FileDialogRequest& request);

    /// The path the user settled on; empty unless the dialog was accepted.
    const QString& ChosenPath() const { return chosen_; }

    void accept() override;

  private:
    std::optional<QString> OpenablePath(const QString& typed);
    std::optional<QString> WritablePath(const QString& typed);
    void Warn(const QString& text);

    FileDialogRequest::Mode mode_;
    QString chosen_;
};

}  // namespace kestrin
