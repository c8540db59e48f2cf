#pragma once

#include <QMessageBox>
#include <QString>

#include "common/FileDialogRule.h"
#include "text/UrlGroups.h"

class QWidget;

namespace kestrin {

/// One file dialog, as the window asks for it.
struct FileDialogRequest {
    using Mode = FileDialogRule::Mode;
    Mode mode = Mode::Open;
    QString title;
    /// The filter's description and its one pattern, e.g. "ALL" and "*".
    QString filterName;
    QString filterPattern;
    /// Added, with a dot, to a name typed without one.
    QString defaultSuffix;
    /// The file chosen in this dialog before, if any: the dialog opens in its folder.
    QString chosen;
};

/// One modal message box, as the window asks for it.
struct MessageBoxRequest {
    QString text;  // a '\n' is a line break
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QMessageBox::StandardButton defaultButton = QMessageBox::Ok;
};

/// What the window needs from the desktop around it: file dialogs, message boxes
/// and the end of the program. The window is given one, so its tests can answer
/// every dialog themselves and drive the real widgets in between.
class Desktop {
  public:
    virtual ~Desktop() = default;

    /// Shows the dialog modal to `owner`, in the folder of the file chosen before,
    /// else in the folder of the last file chosen in any dialog; returns the chosen
    /// path, or an empty string when the user cancelled.
    virtual QString ChooseFile(QWidget* owner, const FileDialogRequest& request) = 0;

    /// Shows the box modal to `owner` and returns the button the user chose.
    virtual QMessageBox::StandardButton ShowMessageBox(QWidget* owner,
                                                       const MessageBoxRequest& request) = 0;

    /// Ends the program at once: no question, no further events.
    virtual void EndProgram() = 0;

    /// The report's entries the user chose last in the Options menu, in this start
    /// or an earlier one; URLs at first.
    virtual Grouping RememberedGrouping() = 0;
    /// Keeps the choice for the next start.
    virtual void RememberGrouping(Grouping grouping) = 0;
};

}  // namespace kestrin
