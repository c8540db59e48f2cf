#include "os/StopSignals.h"

#include <windows.h>

#include "os/TemporaryNames.h"
#include "os/win32/ConsoleCodePage.h"

namespace kestrin::os {
namespace {

BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    // Under a hold the hold's end ends the process; this thread waits for it, since
    // Windows ends a process as the handler of a closed console returns.
    if (detail::DeferEnding(int(event) + 1)) Sleep(INFINITE);
    detail::EndProcess(int(event) + 1);
}

}  // namespace

void RemoveTemporaryFile(std::intptr_t, const void* name) {
    DeleteFileW(static_cast<const wchar_t*>(name));
}

void detail::EndProcess(int) {
    temporary_names::RemoveAll();
    detail::BlankLine([](const char* bytes, std::size_t size) {
        DWORD wrote = 0;
        WriteFile(GetStdHandle(STD_ERROR_HANDLE), bytes, DWORD(size), &wrote, nullptr);
    });
    win32::RestoreConsoleCodePage();
    // Windows' default handling would end the process with this status; wine's
    // ends it with 0, which says the run succeeded. Ended at once, a closed console
    // too: an exit from this thread would run the C runtime's exit while the run's
    // threads still hold its locks.
    TerminateProcess(GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
    for (;;) Sleep(INFINITE);  // not reached: the process is gone
}

void HandleStopSignals() {
    // There is no file size limit to fail a write with a signal here.
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

}  // namespace kestrin::os
