#include "common/WindowController.h"

#include <system_error>

#include "common/WindowRun.h"
#include "os/LargeMemory.h"
#include "run/CuttingRun.h"
#include "run/RunOutcome.h"

namespace kestrin {

// The run's Ui on its own thread: the question and the progress go to the window as
// they come, the one message at the end is kept for the run's end, so that the
// window is out of its busy state when the user reads it.
class WindowController::RunUi : public Ui {
  public:
    explicit RunUi(Ui& relay) : relay_(relay) {}

    void ShowMessage(const RunMessage& message) override { message_ = message; }
    bool AskYesNo(const std::string& text, const std::string& title) override {
        return relay_.AskYesNo(text, title);
    }
    void ShowProgress(const RunProgress& progress) override { relay_.ShowProgress(progress); }

    std::optional<RunMessage> TakeMessage() { return std::move(message_); }

  private:
    Ui& relay_;
    std::optional<RunMessage> message_;
};

WindowController::WindowController(WindowView& view, Grouping grouping)
    : view_(view),
      grouping_(grouping),
      relay_(view, stop_,
             [&view](std::function<void()> call) { return view.Post(std::move(call)); }),
      runUi_(std::make_unique<RunUi>(relay_)),
      self_(std::make_shared<WindowController*>(this)) {}

WindowController::~WindowController() {
    self_.reset();
    if (!thread_.joinable()) return;
    stop_ = true;
    relay_.Abandon();
    thread_.join();
}

void WindowController::Do(form::Command command) {
    if (running_) return;  // the window is disabled: only a close reaches it
    switch (command) {
        case form::Command::ChooseLog:
            return view_.ChooseFile(PathBox::Log);
        case form::Command::ChooseSave:
            return view_.ChooseFile(PathBox::Save);
        case form::Command::Cut:
            return StartRun();
        case form::Command::Quit:
            return view_.Quit();
        case form::Command::About:
            return view_.ShowAbout();
        case form::Command::GroupUrls:
        case form::Command::GroupHosts:
        case form::Command::GroupSites:
            grouping_ = *form::GroupingOf(command);
            return view_.KeepGrouping(grouping_);
        case form::Command::None:
            break;
    }
}

bool WindowController::Close() {
    if (!running_) return true;
    closeWhenEnded_ = true;
    stop_ = true;
    return false;
}

void WindowController::StartRun() {
    WindowView::Boxes boxes = view_.CurrentBoxes();
    RunRequest request =
        WindowRun(std::move(boxes.log), std::move(boxes.save), boxes.keyword, grouping_);
    if (thread_.joinable()) thread_.join();
    stop_ = false;
    request.stop = &stop_;
    view_.SetBusy(true);
    running_ = true;  // before the run can be asked to stop
    try {
        thread_ = std::thread([this, request] {
            CuttingRun(request, *runUi_);
            // The tally's memory is freed by now; between runs the window needs none
            // of what the heap keeps of it.
            os::GiveFreedMemoryBack();
            view_.Post([self = std::weak_ptr(self_), message = runUi_->TakeMessage()] {
                if (const auto controller = self.lock()) (*controller)->Ended(message);
            });
        });
    } catch (const std::system_error&) {
        running_ = false;
        view_.SetBusy(false);
        RunResult result;
        result.outcome = RunOutcome::InternalFailure;
        result.fault.detail = "the system gave no thread for the run";
        view_.ShowMessage(MessageFor(request, result));
    }
}

// The thread has nothing left to do but end: the next run or the controller's end
// waits for it.
void WindowController::Ended(std::optional<RunMessage> message) {
    running_ = false;
    if (closeWhenEnded_) return view_.Close();  // not brought back first, only to go
    view_.SetBusy(false);
    if (message) view_.ShowMessage(*message);
}

}  // namespace kestrin
