#include "os/StopSignals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include "os/TemporaryNames.h"

namespace kestrin::os {
namespace {

constexpr int kSignals[] = {SIGHUP, SIGINT, SIGTERM};

// Removes the temporary reports and gives the signal back its default action,
// which ends the process as soon as the signal is no longer blocked.
void EndBy(int signal) {
    temporary_names::RemoveAll();
    detail::BlankLine([](const char* bytes, std::size_t size) {
        [[maybe_unused]] const ssize_t wrote = write(STDERR_FILENO, bytes, size);
    });
    struct sigaction fallBack {};
    fallBack.sa_handler = SIG_DFL;
    sigemptyset(&fallBack.sa_mask);
    sigaction(signal, &fallBack, nullptr);
    raise(signal);
}

extern "C" void OnEndingSignal(int signal) {
    const int savedErrno = errno;
    // The signal stays blocked until the handler returns, and then ends the process
    // through its default action; under a hold, the hold's end does.
    if (!detail::DeferEnding(signal)) EndBy(signal);
    errno = savedErrno;
}

}  // namespace

void RemoveTemporaryFile(std::intptr_t folder, const void* name) {
    unlinkat(int(folder), static_cast<const char*>(name), 0);
}

void detail::EndProcess(int signal) {
    EndBy(signal);
    sigset_t just;
    sigemptyset(&just);
    sigaddset(&just, signal);
    pthread_sigmask(SIG_UNBLOCK, &just, nullptr);
    _exit(128 + signal);  // not reached: the signal was taken as it was unblocked
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
