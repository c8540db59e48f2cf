#pragma once

#include <QMainWindow>
#include <array>

#include "Desktop.h"
#include "FileChoice.h"
#include "RunWorker.h"
#include "common/Form.h"
#include "run/Ui.h"

class QAction;
class QComboBox;
class QLabel;
class QMimeData;
class QPushButton;

namespace kestrin {

class PathLabel;

/// Kestrin's one window: the log and save file, the back keyword, Cutting and
/// Quit, and the File and HELP menus. A click on Cutting runs the tally on a
/// worker thread with the window as its Ui; every dialog goes through the Desktop
/// the window is given. Closing the window during a run stops the run, and the
/// window closes once it has.
///
/// Controls keep the names of the original design, and controls of one kind form
/// indexed arrays (the path boxes' in the order of PathBox).
class frmKestrin : public QMainWindow, public Ui {
    Q_OBJECT

  public:
    explicit frmKestrin(Desktop& desktop);

    /// Names the log as a file dropped on its label does.
    void OpenLog(const QString& path);

    // The run's Ui.
    void ShowMessage(const RunMessage& message) override;
    bool AskYesNo(const std::string& text, const std::string& title) override;
    /// Shown in the title, which is what a minimized window shows.
    void ShowProgress(const RunProgress& progress) override;
    // Busy during a run: wait cursor, disabled and minimized.
    void EnterBusy();
    void LeaveBusy();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void CreateControls();
    void CreateMenus();
    void SetTabOrder();

    void Do(form::Command command);
    void SelectFirstKeyword();
    void StartRun();
    void Quit();
    void ShowAbout();
    /// The file dialog for `box`: ".." beside it, or its item of the File menu.
    void ChooseFile(PathBox box);
    void TakeDrop(PathBox box, const QMimeData* data);
    void UpdateCuttingEnabled();

    PathLabel& Box(PathBox box) { return *lblFile[std::size_t(box)]; }

    Desktop& desktop_;
    RunWorker worker_{*this};
    Grouping grouping_ = Grouping::Url;  // as the Options menu says
    bool closeWhenRunEnds_ = false;

    std::array<QLabel*, 3> lblView{};
    std::array<PathLabel*, 2> lblFile{};
    std::array<QPushButton*, 2> cmdSelectFile{};
    QComboBox* cmbBackkey = nullptr;
    QPushButton* cmdCutting = nullptr;
    QPushButton* cmdEND = nullptr;
};

}  // namespace kestrin
