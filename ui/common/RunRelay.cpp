#include "common/RunRelay.h"

#include <future>
#include <mutex>

namespace kestrin {

// What the run's thread and the calls posted to the window's thread share. The run
// waits for one call at a time: `waiting` is its answer, given once, by the window
// or by Abandon, whichever comes first.
struct RunRelay::Shared {
    std::mutex mutex;
    bool abandoned = false;
    std::shared_ptr<std::promise<bool>> waiting;

    bool Abandoned() {
        std::lock_guard lock(mutex);
        return abandoned;
    }
    void Answer(const std::shared_ptr<std::promise<bool>>& call, bool answer) {
        std::lock_guard lock(mutex);
        if (waiting != call) return;  // answered already
        waiting.reset();
        call->set_value(answer);
    }
};

RunRelay::RunRelay(Ui& window, const std::atomic<bool>& stop, Post post)
    : window_(window), stop_(stop), post_(std::move(post)), shared_(std::make_shared<Shared>()) {}

RunRelay::~RunRelay() = default;

void RunRelay::ShowMessage(const RunMessage& message) {
    OnWindow([this, message] {
        if (!stop_) window_.ShowMessage(message);
        return false;
    });
}

bool RunRelay::AskYesNo(const std::string& text, const std::string& title) {
    return OnWindow([this, text, title] { return !stop_ && window_.AskYesNo(text, title); });
}

void RunRelay::ShowProgress(const RunProgress& progress) {
    if (shared_->Abandoned()) return;
    post_([&window = window_, shared = shared_, progress] {
        if (!shared->Abandoned()) window.ShowProgress(progress);
    });
}

void RunRelay::Abandon() {
    std::lock_guard lock(shared_->mutex);
    shared_->abandoned = true;
    if (shared_->waiting) shared_->waiting->set_value(false);
    shared_->waiting.reset();
}

bool RunRelay::OnWindow(std::function<bool()> call) {
    auto answer = std::make_shared<std::promise<bool>>();
    std::future<bool> result = answer->get_future();
    {
        std::lock_guard lock(shared_->mutex);
        if (shared_->abandoned) return false;
        shared_->waiting = answer;
    }
    const bool posted = post_([shared = shared_, answer, call = std::move(call)] {
        if (!shared->Abandoned()) shared->Answer(answer, call());
    });
    if (!posted) shared_->Answer(answer, false);
    return result.get();
}

}  // namespace kestrin
