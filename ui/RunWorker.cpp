#include "RunWorker.h"

#include <QCoreApplication>
#include <future>
#include <mutex>

#include "run/CuttingRun.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace kestrin {

// The run's side of the worker: each call is posted to the worker object, which
// lives on the GUI thread, and the run waits for its result there. Once the worker
// is being destroyed, calls are neither posted nor waited for.
class RunWorker::Relay : public Ui {
  public:
    explicit Relay(RunWorker& worker) : worker_(worker) {}

    void EnterBusy() override {
        OnGui([this] { worker_.gui_.EnterBusy(); });
    }
    void ShowMessage(const RunMessage& message) override {
        OnGui([=, this] {
            if (!worker_.stop_) worker_.gui_.ShowMessage(message);
        });
    }
    bool AskYesNo(const std::string& text, const std::string& title) override {
        return OnGui([=, this] { return !worker_.stop_ && worker_.gui_.AskYesNo(text, title); });
    }
    // The window comes back only once the run's thread is gone (see Start), so
    // that an enabled window can always start the next run.
    void LeaveBusy() override {}
    void ShowProgress(double fractionDone) override {
        std::lock_guard lock(mutex_);
        if (abandoned_) return;
        QMetaObject::invokeMethod(
            &worker_, [=, this] { worker_.gui_.ShowProgress(fractionDone); }, Qt::QueuedConnection);
    }

    /// Unblocks the run for good: a call still waiting to be posted or answered
    /// gets the answer of a stopped run.
    void Abandon() {
        std::lock_guard lock(mutex_);
        abandoned_ = true;
        // The dropped calls take their promises with them, which wakes the run.
        QCoreApplication::removePostedEvents(&worker_, QEvent::MetaCall);
    }

  private:
    template <typename Call>
    auto OnGui(Call call) -> decltype(call()) {
        using Result = decltype(call());
        auto promise = std::make_shared<std::promise<Result>>();
        std::future<Result> result = promise->get_future();
        {
            std::lock_guard lock(mutex_);
            if (abandoned_) return Result();
            QMetaObject::invokeMethod(
                &worker_,
                [promise, call] {
                    if constexpr (std::is_void_v<Result>) {
                        call();
                        promise->set_value();
                    } else {
                        promise->set_value(call());
                    }
                },
                Qt::QueuedConnection);
        }
        try {
            return result.get();
        } catch (const std::future_error&) {  // dropped by Abandon
            return Result();
        }
    }

    RunWorker& worker_;
    std::mutex mutex_;
    bool abandoned_ = false;
};

RunWorker::RunWorker(Ui& gui) : gui_(gui), relay_(std::make_unique<Relay>(*this)) {}

RunWorker::~RunWorker() {
    if (thread_ == nullptr) return;
    stop_ = true;
    relay_->Abandon();
    thread_->wait();
}

void RunWorker::Start(RunRequest request) {
    if (Running()) return;
    stop_ = false;
    request.stop = &stop_;
    thread_.reset(QThread::create([this, request = std::move(request)] {
        CuttingRun(request, *relay_);
#if defined(__GLIBC__)
        // The tally's table is freed by now, but glibc keeps freed heap for the
        // next allocation; between runs the window needs none of it.
        malloc_trim(0);
#endif
    }));
    connect(thread_.get(), &QThread::finished, this, [this] {
        thread_->wait();
        thread_.reset();
        gui_.LeaveBusy();
        emit Finished();
    });
    thread_->start();
}

}  // namespace kestrin
