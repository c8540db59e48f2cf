#include "os/StopSignals.h"

#include <windows.h>

#include <atomic>
#include <cwchar>

#include "os/win32/ConsoleCodePage.h"
#include "os/win32/TemporaryNames.h"

namespace kestrin::os {
namespace {

constexpr int kSlots = 4;
constexpr std::size_t kPathMax = 4096;

enum SlotState : int { kFree, kFilling, kArmed };

// The handler reads a slot only when it is armed, and a slot is armed only after
// its path is written, so the handler never sees half a path.
struct Slot {
    std::atomic<int> state{kFree};
    wchar_t path[kPathMax] = {};
};

Slot slots[kSlots];

BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    for (Slot& slot : slots) {
        if (slot.state.load(std::memory_order_acquire) == kArmed) DeleteFileW(slot.path);
    }
    win32::RestoreConsoleCodePage();
    // Windows' default handling would end the process with this status; wine's
    // ends it with 0, which says the run succeeded. Ended at once, a closed console
    // too: an exit from this thread would run the C runtime's exit while the run's
    // threads still hold its locks.
    TerminateProcess(GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
    return FALSE;
}

}  // namespace

int win32::RememberTemporaryName(const std::wstring& path) {
    if (path.size() >= kPathMax) return -1;
    for (int i = 0; i < kSlots; ++i) {
        int expected = kFree;
        if (!slots[i].state.compare_exchange_strong(expected, kFilling)) continue;
        std::wmemcpy(slots[i].path, path.c_str(), path.size() + 1);
        slots[i].state.store(kArmed, std::memory_order_release);
        return i;
    }
    return -1;
}

void win32::ForgetTemporaryName(int slot) {
    if (slot >= 0 && slot < kSlots) slots[slot].state.store(kFree, std::memory_order_release);
}

void HandleStopSignals() {
    // There is no file size limit to fail a write with a signal here.
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

}  // namespace kestrin::os
