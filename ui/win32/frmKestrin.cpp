#include "win32/frmKestrin.h"

#include <commctrl.h>
#include <shellapi.h>

#include "common/CuttingButton.h"
#include "common/KeywordList.h"
#include "common/Texts.h"
#include "common/WindowRun.h"
#include "win32/ControlIds.h"
#include "win32/FileDialogs.h"
#include "win32/FormLayout.h"
#include "win32/KeptOptions.h"
#include "win32/KeywordBox.h"
#include "win32/PathCaption.h"
#include "win32/WideText.h"

namespace kestrin::win32 {
namespace {

// A call for the window's thread: its lParam owns a std::function<void()>.
constexpr UINT kPostedCall = WM_APP + 1;

constexpr const wchar_t* kWindowClass = L"frmKestrin";
constexpr double kPoints = 9;
// Fixed in size: no sizing frame, no maximize box.
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

UINT BoxIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Error:
            return MB_ICONERROR;
        case MessageIcon::Warning:
            return MB_ICONWARNING;
        case MessageIcon::Information:
            break;
    }
    return MB_ICONINFORMATION;
}

std::wstring WindowText(HWND window) {
    std::wstring text(std::size_t(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(std::size_t(GetWindowTextW(window, text.data(), int(text.size()))));
    return text;
}

// What a click on a control or a menu item does.
form::Command CommandFor(int id) {
    if (id == cmdSelectFile(0)) return form::Command::ChooseLog;
    if (id == cmdSelectFile(1)) return form::Command::ChooseSave;
    if (id == cmdCutting) return form::Command::Cut;
    if (id == cmdEND) return form::Command::Quit;
    for (const form::Command command :
         {form::Command::ChooseLog, form::Command::ChooseSave, form::Command::Quit,
          form::Command::About, form::Command::GroupUrls, form::Command::GroupHosts,
          form::Command::GroupSites}) {
        if (id == MenuId(command)) return command;
    }
    return form::Command::None;
}

// Only the log's box takes dropped files: it hands them to the window.
LRESULT CALLBACK LogBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                            DWORD_PTR) {
    if (message == WM_DROPFILES) return SendMessageW(GetParent(box), message, wParam, lParam);
    return DefSubclassProc(box, message, wParam, lParam);
}

}  // namespace

std::unique_ptr<frmKestrin> frmKestrin::Create(HINSTANCE instance) {
    WNDCLASSEXW kind{};
    kind.cbSize = sizeof kind;
    kind.lpfnWndProc = WindowProc;
    kind.hInstance = instance;
    kind.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(kIconResource));
    kind.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    kind.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    kind.lpszClassName = kWindowClass;
    RegisterClassExW(&kind);

    std::unique_ptr<frmKestrin> form(new frmKestrin(instance));
    CreateWindowExW(0, kWindowClass, Wide(form::kTitle).c_str(), kStyle, CW_USEDEFAULT,
                    CW_USEDEFAULT, 0, 0, nullptr, nullptr, instance, form.get());
    if (form->window_ == nullptr) return nullptr;
    form->controller_ = std::make_unique<WindowController>(*form, KeptGrouping());
    form->dpi_ = int(GetDpiForWindow(form->window_));
    form->font_ = GothicFont(kPoints, form->dpi_);
    form->listFont_ = GothicFont(kPoints * kKeywordListScale, form->dpi_);
    form->CreateControls();
    form->CreateMenus();
    form->ApplyDpi(form->dpi_);
    return form;
}

frmKestrin::~frmKestrin() {
    controller_.reset();  // waits for a run still going
    if (window_ != nullptr) DestroyWindow(window_);
    for (HICON icon : icons_) DestroyIcon(icon);
}

std::array<HWND, 10> frmKestrin::Controls() const {
    return {lblView[0], lblView[1],       lblView[2],       lblFile[0], lblFile[1],
            cmbBackkey, cmdSelectFile[0], cmdSelectFile[1], cmdCutting, cmdEND};
}

void frmKestrin::Show(int how) {
    ShowWindow(window_, how);
    UpdateWindow(window_);
}

LRESULT CALLBACK frmKestrin::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* form =
            static_cast<frmKestrin*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        form->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    auto* form = reinterpret_cast<frmKestrin*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (form == nullptr) return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        form->window_ = nullptr;
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return form->OnMessage(message, wParam, lParam);
}

LRESULT frmKestrin::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case kPostedCall: {
            const std::unique_ptr<std::function<void()>> call(
                reinterpret_cast<std::function<void()>*>(lParam));
            (*call)();
            return 0;
        }
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED) controller_->Do(CommandFor(LOWORD(wParam)));
            return 0;
        case WM_DROPFILES:
            TakeDrop(reinterpret_cast<HDROP>(wParam));
            return 0;
        case WM_SETCURSOR:
            if (!busy_) break;
            SetCursor(LoadCursorW(nullptr, IDC_WAIT));
            return TRUE;
        case WM_DPICHANGED: {
            ApplyDpi(HIWORD(wParam));
            const RECT* suggested = reinterpret_cast<RECT*>(lParam);
            SetWindowPos(window_, nullptr, suggested->left, suggested->top, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            return 0;
        }
        case WM_CLOSE:
            if (controller_->Close()) Close();
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return OnControlMessage(message, wParam, lParam);
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

// The path boxes and the keyword list are drawn here, and the focus is kept as a
// dialog keeps it: back on the control that had it when the window is active again,
// else on the first "..".
LRESULT frmKestrin::OnControlMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_DRAWITEM: {
            const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (item.CtlType == ODT_STATIC) DrawPathBox(item);
            if (item.CtlType == ODT_COMBOBOX) DrawKeywordItem(item, listFont_.get());
            return TRUE;
        }
        case WM_MEASUREITEM: {
            auto& item = *reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
            if (item.CtlType != ODT_COMBOBOX) break;
            MeasureKeywordItem(item, window_, font_.get(), listFont_.get());
            return TRUE;
        }
        case WM_ACTIVATE:
            if (LOWORD(wParam) == WA_INACTIVE) {
                if (HWND focus = GetFocus(); focus != nullptr && IsChild(window_, focus))
                    focus_ = focus;
            }
            return DefWindowProcW(window_, message, wParam, lParam);
        case WM_SETFOCUS: {
            HWND target = focus_ != nullptr && IsWindowEnabled(focus_) ? focus_ : cmdSelectFile[0];
            if (IsWindowEnabled(target)) SetFocus(target);
            return 0;
        }
        default:
            break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

HWND frmKestrin::CreateControl(const wchar_t* kind, const form::Control& design, int id,
                               DWORD style) {
    return CreateWindowExW(0, kind, Wide(design.caption).c_str(), WS_CHILD | WS_VISIBLE | style, 0,
                           0, 0, 0, window_, reinterpret_cast<HMENU>(INT_PTR(id)), instance_,
                           nullptr);
}

// Made in the order of the focus, as the other window has it: both "..", Cutting,
// Quit, the keyword box. Labels never take the focus.
void frmKestrin::CreateControls() {
    constexpr DWORD kLabel = SS_LEFT | SS_CENTERIMAGE | SS_NOPREFIX;
    for (int i = 0; i < int(lblView.size()); ++i)
        lblView[i] = CreateControl(WC_STATICW, form::lblView[i], win32::lblView(i), kLabel);
    for (int i = 0; i < int(lblFile.size()); ++i)
        lblFile[i] = CreateControl(WC_STATICW, form::lblFile[i], win32::lblFile(i),
                                   SS_OWNERDRAW | SS_NOTIFY);
    constexpr DWORD kButton = WS_TABSTOP | BS_PUSHBUTTON;
    for (int i = 0; i < int(cmdSelectFile.size()); ++i)
        cmdSelectFile[i] =
            CreateControl(WC_BUTTONW, form::cmdSelectFile[i], win32::cmdSelectFile(i), kButton);
    cmdCutting = CreateControl(WC_BUTTONW, form::cmdCutting, win32::cmdCutting, kButton);
    cmdEND = CreateControl(WC_BUTTONW, form::cmdEND, win32::cmdEND, kButton);
    cmbBackkey = CreateKeywordBox(window_, win32::cmbBackkey);
    EnableWindow(cmdCutting, FALSE);

    DragAcceptFiles(Box(PathBox::Log), TRUE);
    SetWindowSubclass(Box(PathBox::Log), LogBoxProc, 0, 0);

    tooltips_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, 0, 0, 0, 0, window_,
                                nullptr, instance_, nullptr);
    for (HWND box : lblFile) {
        TOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = window_;
        tool.uId = reinterpret_cast<UINT_PTR>(box);
        tool.lpszText = const_cast<wchar_t*>(L"");
        SendMessageW(tooltips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

void frmKestrin::CreateMenus() {
    HMENU bar = CreateMenu();
    for (const form::Menu& design : form::kMenus) {
        HMENU menu = CreatePopupMenu();
        for (const form::MenuItem& item : design.items) {
            if (item.command == form::Command::None) {
                AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            } else {
                AppendMenuW(menu, MF_STRING, UINT_PTR(MenuId(item.command)),
                            Wide(item.caption).c_str());
            }
        }
        AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(menu), Wide(design.caption).c_str());
    }
    SetMenu(window_, bar);
    CheckGrouping(controller_->Entries());
}

// The Options menu's items are one radio group: the one chosen shows its dot.
void frmKestrin::CheckGrouping(Grouping grouping) {
    CheckMenuRadioItem(GetMenu(window_), MENU_O_URLS, MENU_O_SITES,
                       UINT(MenuId(form::CommandOf(grouping))), MF_BYCOMMAND);
}

// Everything in pixels follows the screen's dots per inch: the fonts, the places of
// the controls, the icons and the window's size.
void frmKestrin::ApplyDpi(int dotsPerInch) {
    dpi_ = dotsPerInch;
    Font font = GothicFont(kPoints, dpi_);
    Font listFont = GothicFont(kPoints * kKeywordListScale, dpi_);
    for (HWND control : Controls()) SendMessageW(control, WM_SETFONT, WPARAM(font.get()), TRUE);
    SendMessageW(tooltips_, WM_SETFONT, WPARAM(font.get()), TRUE);
    font_ = std::move(font);
    listFont_ = std::move(listFont);

    // The form's places, with room for every caption in the font in use.
    const std::array<HWND, form::FittedForm::kControls> controls = {
        lblView[0],       lblView[1],       lblView[2], lblFile[0], lblFile[1],
        cmdSelectFile[0], cmdSelectFile[1], cmbBackkey, cmdCutting, cmdEND};
    const form::FittedForm fitted = form::FitForm(dpi_, [&](const form::Control& design) {
        return CaptionWidth(controls[form::FittedForm::IndexOf(design)], font_.get());
    });
    for (std::size_t i = 0; i < controls.size(); ++i) Place(controls[i], fitted.places[i]);
    FitKeywordBox(cmbBackkey, listFont_.get(), form::Pixels(form::cmbBackkey.place.height, dpi_));
    for (const PathBox box : {PathBox::Log, PathBox::Save}) SetPath(box, paths_[std::size_t(box)]);
    SetIcons();
    FitToForm(window_, fitted.clientWidth, fitted.clientHeight, dpi_);
}

void frmKestrin::SetIcons() {
    const std::array<int, 2> sizes = {GetSystemMetricsForDpi(SM_CXICON, UINT(dpi_)),
                                      GetSystemMetricsForDpi(SM_CXSMICON, UINT(dpi_))};
    for (std::size_t i = 0; i < icons_.size(); ++i) {
        auto* icon = static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(kIconResource),
                                                   IMAGE_ICON, sizes[i], sizes[i], 0));
        SendMessageW(window_, WM_SETICON, i == 0 ? ICON_BIG : ICON_SMALL,
                     reinterpret_cast<LPARAM>(icon));
        if (icons_[i] != nullptr) DestroyIcon(icons_[i]);
        icons_[i] = icon;
    }
}

void frmKestrin::ShowAbout() {
    MessageBoxW(window_, Wide(AboutText()).c_str(), Wide(kAboutTitle).c_str(), MB_OK);
}

void frmKestrin::KeepGrouping(Grouping grouping) {
    CheckGrouping(grouping);
    win32::KeepGrouping(grouping);
}

void frmKestrin::Close() {
    DestroyWindow(window_);
}

bool frmKestrin::Post(std::function<void()> call) {
    auto posted = std::make_unique<std::function<void()>>(std::move(call));
    if (!PostMessageW(window_, kPostedCall, 0, reinterpret_cast<LPARAM>(posted.get())))
        return false;
    posted.release();  // the window's now
    return true;
}

void frmKestrin::ChooseFile(PathBox box) {
    if (busy_) return;
    if (const auto path = win32::ChooseFile(window_, box, paths_[std::size_t(box)]))
        SetPath(box, *path);
}

// When several files are dropped the last one stays, as each names the log in turn.
void frmKestrin::TakeDrop(HDROP drop) {
    const UINT files = busy_ ? 0 : DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < files; ++i) {
        std::wstring path(DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
        path.resize(DragQueryFileW(drop, i, path.data(), UINT(path.size())));
        OpenLog(path);
    }
    DragFinish(drop);
}

void frmKestrin::OpenLog(const std::wstring& path) {
    SetPath(PathBox::Log, path);
}

void frmKestrin::SetPath(PathBox box, const std::wstring& path) {
    paths_[std::size_t(box)] = path;
    ShowPath(Box(box), tooltips_, path);
    cuttingEnabled_ = CuttingEnabled(cuttingEnabled_, !paths_[0].empty(), !paths_[1].empty());
    if (!busy_) EnableWindow(cmdCutting, cuttingEnabled_);
}

WindowView::Boxes frmKestrin::CurrentBoxes() {
    return {Utf8(paths_[std::size_t(PathBox::Log)]), Utf8(paths_[std::size_t(PathBox::Save)]),
            Utf16(WindowText(cmbBackkey))};
}

bool frmKestrin::TakeKeyboard(MSG& message) {
    // Alt and a letter open the menus, which the dialog manager would take for a
    // control's mnemonic.
    if (message.message == WM_SYSKEYDOWN || message.message == WM_SYSCHAR) return false;
    return window_ != nullptr && IsDialogMessageW(window_, &message);
}

void frmKestrin::EnableControls(bool enabled) {
    for (HWND control : Controls()) EnableWindow(control, enabled);
    EnableWindow(cmdCutting, enabled && cuttingEnabled_);
    HMENU bar = GetMenu(window_);
    for (int i = 0; i < GetMenuItemCount(bar); ++i)
        EnableMenuItem(bar, UINT(i), MF_BYPOSITION | (enabled ? MF_ENABLED : MF_GRAYED));
    DrawMenuBar(window_);
}

// The cursor changes now where it is over the window, not only once it moves.
void frmKestrin::UpdateCursor() {
    POINT point{};
    GetCursorPos(&point);
    HWND under = WindowFromPoint(point);
    if (under == window_ || IsChild(window_, under))
        SetCursor(LoadCursorW(nullptr, busy_ ? IDC_WAIT : IDC_ARROW));
}

void frmKestrin::SetBusy(bool busy) {
    busy_ = busy;
    if (!busy) {
        SetWindowTextW(window_, Wide(form::kTitle).c_str());
        ShowWindow(window_, SW_RESTORE);
    }
    UpdateCursor();
    EnableControls(!busy);
    if (busy) ShowWindow(window_, SW_MINIMIZE);
}

void frmKestrin::ShowMessage(const RunMessage& message) {
    MessageBoxW(window_, Wide(MessageBoxText(message)).c_str(), Wide(message.title).c_str(),
                MB_OK | BoxIcon(message.icon));
}

bool frmKestrin::AskYesNo(const std::string& text, const std::string& title) {
    return MessageBoxW(window_, Wide(text).c_str(), Wide(title).c_str(),
                       MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON1) == IDYES;
}

void frmKestrin::ShowProgress(const RunProgress& progress) {
    SetWindowTextW(window_, Wide(ProgressTitle(progress.fraction)).c_str());
}

}  // namespace kestrin::win32
