#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <thread>

#include "common/Form.h"
#include "common/RunRelay.h"
#include "common/WindowView.h"
#include "run/RunRequest.h"

namespace kestrin {

/// What both windows do the same whatever draws them: the form's commands, the one
/// run at a time on a thread of its own, the busy state around it and the close
/// during it. The run's Ui calls reach the view on the window's thread (RunRelay),
/// and its end is told once, after everything the run does, its memory given back
/// included: the window leaves its busy state, then shows the run's one message.
/// Closing the window during a run stops it; the window goes once the run has ended,
/// and a report not yet in the previous one's place is not saved.
class WindowController {
  public:
    /// `grouping` is the Options menu's choice the window starts with.
    WindowController(WindowView& view, Grouping grouping);
    /// Stops a run still going and waits for it.
    ~WindowController();
    WindowController(const WindowController&) = delete;
    WindowController& operator=(const WindowController&) = delete;

    /// A click on a control or a menu item.
    void Do(form::Command command);
    /// The window is asked to close: true when it may go now; during a run false,
    /// and the view's Close follows the run's end.
    bool Close();

    bool Running() const { return running_; }
    Grouping Entries() const { return grouping_; }

  private:
    class RunUi;

    void StartRun();
    void Ended(std::optional<RunMessage> message);

    WindowView& view_;
    Grouping grouping_;
    std::atomic<bool> stop_ = false;
    RunRelay relay_;
    std::unique_ptr<RunUi> runUi_;
    std::thread thread_;
    bool running_ = false;
    bool closeWhenEnded_ = false;
    std::shared_ptr<WindowController*> self_;  // posted calls find the controller gone
};

}  // namespace kestrin
