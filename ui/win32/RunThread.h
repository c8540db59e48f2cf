#pragma once

#include <windows.h>

#include <atomic>
#include <thread>

#include "common/RunRelay.h"
#include "run/RunRequest.h"
#include "run/Ui.h"

namespace kestrin::win32 {

/// Messages the run's thread posts to the window.
enum RunMessages : UINT {
    /// A Ui call of the run, for Deliver: its lParam owns a std::function<void()>.
    kRunCall = WM_APP + 1,
    /// The run is over: the window calls Join, then its own LeaveBusy.
    kRunEnded = WM_APP + 2,
};

/// Runs one CuttingRun at a time on a thread of its own, its Ui calls relayed (see
/// RunRelay) to `ui` on the thread of `window`, through messages posted to it.
class RunThread {
  public:
    RunThread(HWND window, Ui& ui);
    /// Stops a run still going and waits for it.
    ~RunThread();
    RunThread(const RunThread&) = delete;
    RunThread& operator=(const RunThread&) = delete;

    /// Starts a run of `request` (its `stop` is this one's own). Only when idle;
    /// false when the system gives no thread for it.
    bool Start(RunRequest request);
    bool Running() const { return thread_.joinable(); }

    /// The run ends soon after, saving nothing; a question or message it still has is
    /// not shown (the question counts as No). kRunEnded follows.
    void Stop() { stop_ = true; }

    /// For kRunEnded: waits for the thread, which is ending.
    void Join();

    /// For kRunCall: makes the call on the window's thread.
    static void Deliver(LPARAM call);

  private:
    HWND window_;
    std::atomic<bool> stop_ = false;
    RunRelay relay_;
    std::thread thread_;
};

}  // namespace kestrin::win32
