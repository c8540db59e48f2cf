// Drives kestrin.exe's window from another process, as a user's moves amount to:
// posted clicks, a dropped file list, a file name put into a file dialog, message
// boxes answered. Each argument is a step, its fields split by '|'; each step that
// looks prints one line, which the test compares.
#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>

#include <fcntl.h>
#include <io.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "win32/ControlIds.h"
#include "win32/WideText.h"

using namespace kestrin;
using win32::Utf8;
using win32::Wide;

namespace {

HWND window = nullptr;
DWORD processId = 0;
HANDLE process = nullptr;
std::chrono::steady_clock::time_point closedAt;

[[noreturn]] void Fail(const std::string& why) {
    std::printf("FAILED: %s\n", why.c_str());
    std::exit(1);
}

// Polls `found` every 10 ms for up to 20 s.
template <typename Found>
auto Await(Found found, const std::string& what) {
    for (int i = 0; i < 2000; ++i) {
        if (auto result = found()) return result;
        Sleep(10);
    }
    Fail("no " + what);
}

std::wstring Text(HWND control) {
    wchar_t text[4096] = {};
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(control, WM_GETTEXT, std::size(text), LPARAM(text), SMTO_BLOCK, 5000,
                        &copied);
    return text;
}

const std::pair<std::string, int> kIds[] = {{"lblView(0)", win32::lblView(0)},
                                            {"lblView(1)", win32::lblView(1)},
                                            {"lblView(2)", win32::lblView(2)},
                                            {"lblFile(0)", win32::lblFile(0)},
                                            {"lblFile(1)", win32::lblFile(1)},
                                            {"cmdSelectFile(0)", win32::cmdSelectFile(0)},
                                            {"cmdSelectFile(1)", win32::cmdSelectFile(1)},
                                            {"cmbBackkey", win32::cmbBackkey},
                                            {"cmdCutting", win32::cmdCutting},
                                            {"cmdEND", win32::cmdEND},
                                            {"MENU_F_LOG", win32::MENU_F_LOG},
                                            {"MENU_H_INDEX", win32::MENU_H_INDEX},
                                            {"MENU_O_URLS", win32::MENU_O_URLS},
                                            {"MENU_O_HOSTS", win32::MENU_O_HOSTS},
                                            {"MENU_O_SITES", win32::MENU_O_SITES}};

int IdOf(const std::string& name) {
    for (const auto& [known, id] : kIds)
        if (name == known) return id;
    Fail("no control " + name);
}

HWND FocusedWindow() {
    GUITHREADINFO thread{};
    thread.cbSize = sizeof thread;
    GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &thread);
    return thread.hwndFocus;
}

// The control that has the keyboard's focus, by name: the keyword box for its edit.
std::string Focused() {
    for (HWND focus = FocusedWindow(); focus != nullptr && focus != window;
         focus = GetParent(focus)) {
        for (const auto& [name, id] : kIds)
            if (GetDlgCtrlID(focus) == id) return name;
    }
    return "nothing";
}

HWND Control(const std::string& name) {
    HWND control = GetDlgItem(window, IdOf(name));
    return control ? control : (Fail("no control " + name), nullptr);
}

HWND NameBox(HWND dialog) {
    HWND edit = GetDlgItem(dialog, 0x47C);                      // cmb13, in the Explorer style
    return edit != nullptr ? edit : GetDlgItem(dialog, 0x480);  // edt1, in the old one
}

// A shown, enabled dialog of kestrin's titled `title`: a file dialog, or a message box
// when `box`.
HWND Dialog(const std::wstring& title, bool box) {
    struct Search {
        std::wstring title;
        bool box;
        HWND found = nullptr;
    } search{title, box};
    EnumWindows(
        [](HWND candidate, LPARAM data) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(data);
            DWORD owner = 0;
            GetWindowThreadProcessId(candidate, &owner);
            wchar_t kind[16] = {};
            GetClassNameW(candidate, kind, 16);
            if (owner == processId && std::wstring(kind) == L"#32770" &&
                IsWindowVisible(candidate) && IsWindowEnabled(candidate) &&
                Text(candidate) == s.title && (NameBox(candidate) == nullptr) == s.box)
                s.found = candidate;
            return s.found == nullptr;
        },
        LPARAM(&search));
    return search.found;
}

// Whether a dialog of kestrin's is up.
bool DialogUp() {
    HWND up = nullptr;
    EnumThreadWindows(
        GetWindowThreadProcessId(window, nullptr),
        [](HWND candidate, LPARAM found) -> BOOL {
            wchar_t kind[16] = {};
            GetClassNameW(candidate, kind, 16);
            if (std::wstring(kind) == L"#32770" && IsWindowVisible(candidate))
                *reinterpret_cast<HWND*>(found) = candidate;
            return TRUE;
        },
        LPARAM(&up));
    return up != nullptr;
}

// The files as the shell hands a drop to the window: a DROPFILES in the window's own
// memory, in a WM_DROPFILES to the control under the pointer.
void Drop(const std::vector<std::string>& paths) {
    std::wstring list;
    for (const std::string& path : paths) list += Wide(path) + L'\0';
    list += L'\0';
    std::vector<char> drop(sizeof(DROPFILES) + list.size() * sizeof(wchar_t));
    auto* header = reinterpret_cast<DROPFILES*>(drop.data());
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    std::memcpy(drop.data() + sizeof(DROPFILES), list.data(), list.size() * sizeof(wchar_t));
    void* remote = VirtualAllocEx(process, nullptr, drop.size(), MEM_COMMIT, PAGE_READWRITE);
    if (!remote || !WriteProcessMemory(process, remote, drop.data(), drop.size(), nullptr))
        Fail("no room for the drop in kestrin");
    // Sent rather than posted, and waited for until the window has handled it or put
    // up a dialog: a look at the window sends it messages, which a window handles
    // before any posted one, so that a look could come before a posted drop's effect.
    static bool handled;
    handled = false;
    SendMessageCallbackW(
        Control("lblFile(0)"), WM_DROPFILES, WPARAM(remote), 0,
        [](HWND, UINT, ULONG_PTR, LRESULT) { handled = true; }, 0);
    Await(
        [] {
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
            return handled || DialogUp();
        },
        "drop handled");
}

// Before a look at the window: what was posted to it is handled, and no dialog is up.
void Settle() {
    Await([] { return !DialogUp(); }, "dialog closed");
    WaitForInputIdle(process, 5000);
    SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_BLOCK, 5000, nullptr);
}

// Tab pressed `times` times, and where the focus went each time. A key is posted:
// the focus moves some time later.
void Tabs(int times) {
    Await([] { return Focused() != "nothing"; }, "control with the focus");
    std::string order = Focused();
    for (int i = 0; i < times; ++i) {
        HWND target = FocusedWindow();
        PostMessageW(target, WM_KEYDOWN, VK_TAB, 1);
        PostMessageW(target, WM_KEYUP, VK_TAB, 0xC0000001);
        for (int wait = 0; wait < 200 && FocusedWindow() == target; ++wait) Sleep(10);
        order += " > " + Focused();
    }
    std::printf("focus %s\n", order.c_str());
}

std::string Escaped(const std::wstring& text) {
    std::string escaped;
    for (const char c : Utf8(text)) escaped += c == '\n' ? std::string("\\n") : std::string(1, c);
    return escaped;
}

void FindKestrin() {
    window = Await([] { return FindWindowW(L"frmKestrin", L"KSTN"); }, "window KSTN");
    Await([] { return IsWindowVisible(window); }, "shown window");
    // Openbox may tell wine, just after the window shows, of the size its X window had
    // before wine sized it: a moment of no client area, then the window's own size.
    Await(
        [] {
            RECT client{};
            return GetClientRect(window, &client) && client.bottom > 0;
        },
        "window of its size");
    GetWindowThreadProcessId(window, &processId);
    process = OpenProcess(
        PROCESS_VM_OPERATION | PROCESS_VM_WRITE | SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION,
        FALSE, processId);
    RECT client{};
    GetClientRect(window, &client);
    const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
    const bool fixed = !(style & (WS_THICKFRAME | WS_MAXIMIZEBOX));
    std::printf("window KSTN, client %ldx%ld, %s, %u dpi\n", client.right, client.bottom,
                fixed ? "fixed size" : "resizable", GetDpiForWindow(window));
}

// A file dialog's name box gets `name`, and its OK button is clicked.
void NameInDialog(const std::wstring& title, const std::string& name) {
    HWND dialog = Await([&] { return Dialog(title, false); }, "dialog " + Utf8(title));
    SendMessageW(NameBox(dialog), WM_SETTEXT, 0, LPARAM(Wide(name).c_str()));
    PostMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
}

void Answer(const std::wstring& title, const std::string& button) {
    HWND box = Await([&] { return Dialog(title, true); }, "message box " + Utf8(title));
    std::printf("%s: %s\n", Utf8(title).c_str(), Escaped(Text(GetDlgItem(box, 0xFFFF))).c_str());
    const int id = button == "Yes" ? IDYES : button == "No" ? IDNO : IDOK;
    PostMessageW(GetDlgItem(box, id), BM_CLICK, 0, 0);
    Await([&] { return !IsWindow(box) || !IsWindowVisible(box); }, "closed " + Utf8(title));
}

void State() {
    std::string disabled;
    for (const char* name : {"lblFile(0)", "cmdSelectFile(0)", "cmdSelectFile(1)", "cmbBackkey",
                             "cmdCutting", "cmdEND"})
        disabled += IsWindowEnabled(Control(name)) ? "" : std::string(" ") + name;
    // The window's thread answers at once, a run or not.
    const bool answers =
        SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 500, nullptr) != 0;
    std::printf("%s%s, disabled:%s\n", IsIconic(window) ? "minimized" : "shown",
                answers ? "" : ", not answering", disabled.empty() ? " none" : disabled.c_str());
}

// Whether every caption shows whole in its control, measured in `face` at 9 points,
// the face the test expects the window to have: a label's text, a button's within
// its edges, each entry of the keyword box within its edit field.
void Fits(const std::wstring& face) {
    Settle();
    LOGFONTW wanted{};
    wanted.lfHeight = -MulDiv(9, int(GetDpiForWindow(window)), 72);
    wanted.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(wanted.lfFaceName, face.c_str(), LF_FACESIZE);
    HFONT font = CreateFontIndirectW(&wanted);
    HDC dc = GetDC(window);
    const HGDIOBJ before = SelectObject(dc, font);
    const auto width = [dc](const std::wstring& text) {
        SIZE size{};
        GetTextExtentPoint32W(dc, text.c_str(), int(text.size()), &size);
        return int(size.cx);
    };
    const auto room = [](HWND control) {
        RECT client{};
        GetClientRect(control, &client);
        return int(client.right);
    };
    std::string cut;
    const int edges = 2 * GetSystemMetricsForDpi(SM_CXEDGE, GetDpiForWindow(window));
    for (const char* name : {"lblView(0)", "lblView(1)", "lblView(2)", "cmdSelectFile(0)",
                             "cmdSelectFile(1)", "cmdCutting", "cmdEND"}) {
        const bool button = name[0] == 'c';
        if (width(Text(Control(name))) > room(Control(name)) - (button ? edges : 0))
            cut += std::string(" ") + name;
    }
    HWND edit = FindWindowExW(Control("cmbBackkey"), nullptr, L"Edit", nullptr);
    const auto entries = int(SendMessageW(Control("cmbBackkey"), CB_GETCOUNT, 0, 0));
    for (int i = 0; i < entries; ++i) {
        SendMessageW(Control("cmbBackkey"), CB_SETCURSEL, i, 0);
        if (width(Text(edit)) > room(edit)) cut += " cmbBackkey:" + Utf8(Text(edit));
    }
    SelectObject(dc, before);
    ReleaseDC(window, dc);
    DeleteObject(font);
    std::printf("in %s, cut:%s\n", Utf8(face).c_str(), cut.empty() ? " none" : cut.c_str());
}

void Ended(int milliseconds) {
    if (WaitForSingleObject(process, DWORD(milliseconds)) != WAIT_OBJECT_0)
        Fail("kestrin still runs " + std::to_string(milliseconds) + " ms after it was closed");
    DWORD status = 0;
    GetExitCodeProcess(process, &status);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - closedAt);
    std::fprintf(stderr, "kestrin ended %lld ms after it was closed\n", (long long)took.count());
    std::printf("ended, status %lu\n", status);
}

void Step(const std::vector<std::string>& f) {
    const std::string& verb = f[0];
    const auto field = [&](std::size_t i) -> const std::string& {
        if (i >= f.size()) Fail(verb + " needs more");
        return f[i];
    };
    if (verb == "window") return FindKestrin();
    const bool looks = verb == "text" || verb == "takes-drops" || verb == "enabled" ||
                       verb == "state" || verb == "title";
    if (looks) Settle();
    if (verb == "drop") return Drop({f.begin() + 1, f.end()});
    if (verb == "text")
        return (void)std::printf("%s: %s\n", field(1).c_str(),
                                 Escaped(Text(Control(f[1]))).c_str());
    if (verb == "takes-drops")
        return (void)std::printf(
            "%s takes drops: %s\n", field(1).c_str(),
            GetWindowLongPtrW(Control(f[1]), GWL_EXSTYLE) & WS_EX_ACCEPTFILES ? "yes" : "no");
    if (verb == "enabled")
        return (void)std::printf("%s: %s\n", field(1).c_str(),
                                 IsWindowEnabled(Control(f[1])) ? "enabled" : "disabled");
    if (verb == "click") return (void)PostMessageW(Control(field(1)), BM_CLICK, 0, 0);
    if (verb == "menu") return (void)PostMessageW(window, WM_COMMAND, IdOf(field(1)), 0);
    if (verb == "type")
        return (void)SendMessageW(Control("cmbBackkey"), WM_SETTEXT, 0,
                                  LPARAM(Wide(field(1)).c_str()));
    if (verb == "pick")
        return (void)SendMessageW(Control("cmbBackkey"), CB_SETCURSEL, std::stoi(field(1)), 0);
    if (verb == "dialog") return NameInDialog(Wide(field(1)), field(2));
    if (verb == "answer") return Answer(Wide(field(1)), field(2));
    if (verb == "state") return State();
    if (verb == "fits") return Fits(Wide(field(1)));
    if (verb == "tabs") return Tabs(std::stoi(field(1)));
    if (verb == "title") return (void)std::printf("title %s\n", Utf8(Text(window)).c_str());
    if (verb == "progress") {
        Await([] { return Text(window).starts_with(L"KSTN ") && Text(window).ends_with(L"%"); },
              "progress in the title");
        return (void)std::puts("progress in the title");
    }
    if (verb == "restore") {  // a click on its taskbar button
        PostMessageW(window, WM_SYSCOMMAND, SC_RESTORE, 0);
        return (void)Await([] { return !IsIconic(window); }, "restored window");
    }
    if (verb == "close") {
        closedAt = std::chrono::steady_clock::now();
        return (void)PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    }
    if (verb == "ended") return Ended(std::stoi(field(1)));
    if (verb == "sleep") return Sleep(DWORD(std::stoi(field(1))));
    Fail("no step " + verb);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    _setmode(_fileno(stdout), _O_BINARY);  // lines end in LF, as the test's do
    for (int i = 1; i < argc; ++i) {
        std::vector<std::string> fields(1);
        for (const char c : Utf8(argv[i])) c == '|' ? fields.emplace_back() : fields.back() += c;
        Step(fields);
        std::fflush(stdout);
    }
    return 0;
}
