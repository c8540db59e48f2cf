#include "RunWorker.h"

#include "os/LargeMemory.h"
#include "run/CuttingRun.h"

namespace kestrin {

RunWorker::RunWorker(Ui& gui)
    : relay_(gui, stop_, [this](std::function<void()> call) {
          // Calls still queued when the worker goes are dropped with it.
          return QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
      }) {}

RunWorker::~RunWorker() {
    if (thread_ == nullptr) return;
    stop_ = true;
    relay_.Abandon();
    thread_->wait();
}

void RunWorker::Start(RunRequest request) {
    if (Running()) return;
    stop_ = false;
    request.stop = &stop_;
    thread_.reset(QThread::create([this, request = std::move(request)] {
        CuttingRun(request, relay_);
        // The tally's table is freed by now, but the heap keeps freed memory for the
        // next allocation; between runs the window needs none of it.
        os::GiveFreedMemoryBack();
    }));
    connect(thread_.get(), &QThread::finished, this, [this] {
        thread_->wait();
        thread_.reset();
        emit Finished();
    });
    thread_->start();
}

}  // namespace kestrin
