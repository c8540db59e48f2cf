#pragma once

#include <windows.h>

#include <shellapi.h>

#include <array>
#include <memory>
#include <string>

#include "common/Form.h"
#include "common/PathBox.h"
#include "common/WindowController.h"
#include "common/WindowView.h"
#include "win32/GothicFont.h"

namespace kestrin::win32 {

/// Kestrin's one window on Windows, of the system's own controls: the form the Qt
/// window has (common/Form.h), its menus and rules; what they do is WindowController's.
///
/// Controls keep the names of the original design, and controls of one kind form
/// indexed arrays (the path boxes' in the order of PathBox).
class frmKestrin : public WindowView {
  public:
    /// Makes the window, not shown yet; nothing when the system makes none.
    static std::unique_ptr<frmKestrin> Create(HINSTANCE instance);
    ~frmKestrin() override;
    frmKestrin(const frmKestrin&) = delete;
    frmKestrin& operator=(const frmKestrin&) = delete;

    void Show(int how);
    /// Names the log as a file dropped on its box does.
    void OpenLog(const std::wstring& path);
    /// The keyboard's moves between the controls, for the message loop: true when it
    /// took `message`.
    bool TakeKeyboard(MSG& message);

    // The controller's view.
    void ShowMessage(const RunMessage& message) override;
    bool AskYesNo(const std::string& text, const std::string& title) override;
    /// Shown in the title, which is what a minimized window shows.
    void ShowProgress(const RunProgress& progress) override;
    bool Post(std::function<void()> call) override;
    void SetBusy(bool busy) override;
    void Close() override;
    void Quit() override { Close(); }
    Boxes CurrentBoxes() override;
    void ChooseFile(PathBox box) override;
    void ShowAbout() override;
    void KeepGrouping(Grouping grouping) override;

  private:
    explicit frmKestrin(HINSTANCE instance) : instance_(instance) {}

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnControlMessage(UINT message, WPARAM wParam, LPARAM lParam);

    void CreateControls();
    HWND CreateControl(const wchar_t* kind, const form::Control& design, int id, DWORD style);
    void CreateMenus();
    void ApplyDpi(int dotsPerInch);
    void SetIcons();

    void CheckGrouping(Grouping grouping);
    void TakeDrop(HDROP drop);
    void SetPath(PathBox box, const std::wstring& path);
    void EnableControls(bool enabled);
    void UpdateCursor();

    HWND Box(PathBox box) const { return lblFile[std::size_t(box)]; }
    std::array<HWND, 10> Controls() const;

    HINSTANCE instance_;
    HWND window_ = nullptr;
    HWND tooltips_ = nullptr;
    HWND focus_ = nullptr;  // the control to give the focus back to
    int dpi_ = 96;
    Font font_, listFont_;
    std::array<HICON, 2> icons_{};       // big, small
    std::array<std::wstring, 2> paths_;  // as chosen, by PathBox
    std::unique_ptr<WindowController> controller_;
    bool cuttingEnabled_ = false;
    bool busy_ = false;

    std::array<HWND, 3> lblView{};
    std::array<HWND, 2> lblFile{};
    std::array<HWND, 2> cmdSelectFile{};
    HWND cmbBackkey = nullptr;
    HWND cmdCutting = nullptr;
    HWND cmdEND = nullptr;
};

}  // namespace kestrin::win32
