#pragma once

#include <QMainWindow>
#include <array>

#include "Desktop.h"
#include "FileChoice.h"
#include "common/Form.h"
#include "common/WindowController.h"
#include "common/WindowView.h"

class QAction;
class QComboBox;
class QLabel;
class QMimeData;
class QPushButton;

namespace kestrin {

class PathLabel;

/// Kestrin's one window: the log and save file, the back keyword, Cutting and
/// Quit, and the File, Options and HELP menus, drawn with Qt's widgets; what they do
/// is WindowController's, and every dialog goes through the Desktop the window is
/// given.
///
/// Controls keep the names of the original design, and controls of one kind form
/// indexed arrays (the path boxes' in the order of PathBox).
class frmKestrin : public QMainWindow, public WindowView {
    Q_OBJECT

  public:
    explicit frmKestrin(Desktop& desktop);

    /// Names the log as a file dropped on its label does.
    void OpenLog(const QString& path);

    // The controller's view.
    void ShowMessage(const RunMessage& message) override;
    bool AskYesNo(const std::string& text, const std::string& title) override;
    /// Shown in the title, which is what a minimized window shows.
    void ShowProgress(const RunProgress& progress) override;
    bool Post(std::function<void()> call) override;
    void SetBusy(bool busy) override;
    void Close() override { close(); }
    void Quit() override;
    Boxes CurrentBoxes() override;
    void ChooseFile(PathBox box) override;
    void ShowAbout() override;
    void KeepGrouping(Grouping grouping) override;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void CreateControls();
    void FitControls(QWidget& client);
    void CreateMenus();
    void SetTabOrder();

    void SelectFirstKeyword();
    void TakeDrop(PathBox box, const QMimeData* data);
    void UpdateCuttingEnabled();

    PathLabel& Box(PathBox box) { return *lblFile[std::size_t(box)]; }

    Desktop& desktop_;
    WindowController controller_;

    std::array<QLabel*, 3> lblView{};
    std::array<PathLabel*, 2> lblFile{};
    std::array<QPushButton*, 2> cmdSelectFile{};
    QComboBox* cmbBackkey = nullptr;
    QPushButton* cmdCutting = nullptr;
    QPushButton* cmdEND = nullptr;
};

}  // namespace kestrin
