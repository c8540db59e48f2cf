#pragma once

#include "Desktop.h"

namespace kestrin {

/// The real desktop: Kestrin's file dialogs, Qt message boxes, the end of the
/// event loop.
class QtDesktop : public Desktop {
  public:
    QString ChooseFile(QWidget* owner, const FileDialogRequest& request) override;
    QMessageBox::StandardButton ShowMessageBox(QWidget* owner,
                                               const MessageBoxRequest& request) override;
    void EndProgram() override;
    Grouping RememberedGrouping() override;
    void RememberGrouping(Grouping grouping) override;
};

}  // namespace kestrin
