#include "os/StopSignals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "os/posix/TemporaryNames.h"

namespace kestrin::os {
namespace {

constexpr int kSlots = 4;
constexpr std::size_t kNameMax = 256;  // NAME_MAX and its NUL
constexpr int kSignals[] = {SIGHUP, SIGINT, SIGTERM};

enum SlotState : int { kFree, kFilling, kArmed };

// A handler reads a slot only when it is armed, and a slot is armed only after
// its name is written, so the handler never sees half a name.
struct Slot {
    std::atomic<int> state{kFree};
    int dirFd = -1;
    char name[kNameMax] = {};
};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler reads the flags");

Slot slots[kSlots];

void RemoveTemporaryReports() {
    for (Slot& slot : slots) {
        if (slot.state.load(std::memory_order_acquire) == kArmed)
            unlinkat(slot.dirFd, slot.name, 0);
    }
}

extern "C" void OnEndingSignal(int signal) {
    const int savedErrno = errno;
    RemoveTemporaryReports();
    // The signal stays blocked until the handler returns, and then ends the process
    // through its default action.
    struct sigaction fallBack {};
    fallBack.sa_handler = SIG_DFL;
    sigemptyset(&fallBack.sa_mask);
    sigaction(signal, &fallBack, nullptr);
    raise(signal);
    errno = savedErrno;
}

}  // namespace

int posix::RememberTemporaryName(int dirFd, const char* name) {
    const std::size_t length = std::strlen(name);
    if (length >= kNameMax) return -1;
    for (int i = 0; i < kSlots; ++i) {
        int expected = kFree;
        if (!slots[i].state.compare_exchange_strong(expected, kFilling)) continue;
        slots[i].dirFd = dirFd;
        std::memcpy(slots[i].name, name, length + 1);
        slots[i].state.store(kArmed, std::memory_order_release);
        return i;
    }
    return -1;
}

void posix::ForgetTemporaryName(int slot) {
    if (slot >= 0 && slot < kSlots) slots[slot].state.store(kFree, std::memory_order_release);
}

void HandleStopSignals() {
    // Past the limit write() then fails with EFBIG, which the run reports.
    signal(SIGXFSZ, SIG_IGN);
    for (int signal : kSignals) {
        struct sigaction current {};
        if (sigaction(signal, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) continue;
        struct sigaction cleanup {};
        cleanup.sa_handler = OnEndingSignal;
        sigemptyset(&cleanup.sa_mask);
        // One cleanup at a time: the other ending signals wait for it.
        for (int other : kSignals) sigaddset(&cleanup.sa_mask, other);
        cleanup.sa_flags = SA_RESTART;
        sigaction(signal, &cleanup, nullptr);
    }
}

}  // namespace kestrin::os
