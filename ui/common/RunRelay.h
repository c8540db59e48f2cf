#pragma once

#include <atomic>
#include <functional>
#include <memory>

#include "run/Ui.h"

namespace kestrin {

/// The run's side of a window whose run goes on a thread of its own, so that the
/// window's thread keeps turning: the window repaints, and the desktop never takes it
/// for hung. Each Ui call is handed to the window's thread through `post`, in the run's
/// order, and the run waits for it there, but for the progress. Once the window has
/// asked the run to stop, a message is no longer shown and the question counts as No.
class RunRelay : public Ui {
  public:
    /// Runs `call` later on the window's thread and returns at once; false when it
    /// cannot.
    using Post = std::function<bool(std::function<void()> call)>;

    RunRelay(Ui& window, const std::atomic<bool>& stop, Post post);
    ~RunRelay() override;

    void ShowMessage(const RunMessage& message) override;
    bool AskYesNo(const std::string& text, const std::string& title) override;
    void ShowProgress(const RunProgress& progress) override;

    /// For a window going away during a run: the call the run waits for gets a stopped
    /// run's answer at once, and calls still on their way, or made later, do nothing.
    void Abandon();

  private:
    struct Shared;

    bool OnWindow(std::function<bool()> call);

    Ui& window_;
    const std::atomic<bool>& stop_;
    Post post_;
    std::shared_ptr<Shared> shared_;
};

}  // namespace kestrin
