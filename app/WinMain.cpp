#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include "Arguments.h"
#include "os/StopSignals.h"
#include "os/Terminal.h"
#include "win32/WideText.h"
#include "win32/frmKestrin.h"

namespace {

using kestrin::win32::Wide;

bool Usable(HANDLE handle) {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
           GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

bool WriteTo(HANDLE handle, const std::string& text) {
    DWORD written = 0;
    if (GetFileType(handle) == FILE_TYPE_CHAR) {  // a console takes UTF-16
        const std::wstring wide = Wide(text);
        if (WriteConsoleW(handle, wide.c_str(), DWORD(wide.size()), &written, nullptr)) return true;
    }
    return WriteFile(handle, text.data(), DWORD(text.size()), &written, nullptr) != 0;
}

// A program of the Windows subsystem has no console of its own. What it has to say
// goes to its standard output or error where they lead somewhere (a file or pipe they
// were redirected to, or the terminal wine was started from), else to the console of
// the program that started it (cmd.exe, PowerShell), else, started from Explorer or a
// shortcut, into a message box.
int Say(const kestrin::Said& said) {
    const std::pair<DWORD, const std::string*> streams[] = {{STD_OUTPUT_HANDLE, &said.output},
                                                            {STD_ERROR_HANDLE, &said.error}};
    bool told = true;
    for (const auto& [which, text] : streams)
        if (!text->empty() && !(Usable(GetStdHandle(which)) && WriteTo(GetStdHandle(which), *text)))
            told = false;
    if (told) return said.status;
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, 0, nullptr);
        if (Usable(console) && WriteTo(console, "\n" + said.output + said.error)) {
            CloseHandle(console);
            return said.status;
        }
    }
    MessageBoxW(nullptr, Wide(said.output + said.error).c_str(), L"kestrin",
                MB_OK | (said.status == 0 ? MB_ICONINFORMATION : MB_ICONERROR));
    return said.status;
}

std::wstring FullPath(const std::wstring& path) {
    std::wstring full(GetFullPathNameW(path.c_str(), 0, nullptr, nullptr), L'\0');
    full.resize(GetFullPathNameW(path.c_str(), DWORD(full.size()), full.data(), nullptr));
    return full.empty() ? path : full;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    const std::vector<std::string> given = kestrin::os::ProgramArguments(0, nullptr);
    const kestrin::Arguments arguments = kestrin::ParseArguments(given);
    if (arguments.action != kestrin::Arguments::Action::OpenWindow)
        return Say(kestrin::WhatToSay(arguments));

    kestrin::os::HandleStopSignals();
    const INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    const auto window = kestrin::win32::frmKestrin::Create(instance);
    if (window == nullptr) {
        return Say({"",
                    "kestrin: cannot open the window: the system made none (under wine: "
                    "no display); kestrin-cut tallies logs from a terminal\n",
                    1});
    }
    // A dropped file arrives as an absolute path; so does a named one.
    if (arguments.log) window->OpenLog(FullPath(Wide(*arguments.log)));
    window->Show(show);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (window->TakeKeyboard(message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return int(message.wParam);
}
