#include "win32/RunThread.h"

#include <functional>
#include <memory>
#include <system_error>

#include "os/LargeMemory.h"
#include "run/CuttingRun.h"

namespace kestrin::win32 {

RunThread::RunThread(HWND window, Ui& ui)
    : window_(window), relay_(ui, stop_, [window](std::function<void()> call) {
          auto posted = std::make_unique<std::function<void()>>(std::move(call));
          if (!PostMessageW(window, kRunCall, 0, reinterpret_cast<LPARAM>(posted.get())))
              return false;
          posted.release();  // Deliver's now
          return true;
      }) {}

RunThread::~RunThread() {
    if (!Running()) return;
    stop_ = true;
    relay_.Abandon();
    thread_.join();
}

bool RunThread::Start(RunRequest request) {
    if (Running()) return false;
    stop_ = false;
    request.stop = &stop_;
    try {
        thread_ = std::thread([this, request = std::move(request)] {
            CuttingRun(request, relay_);
            // The tally's memory is freed by now; between runs the window needs none
            // of what the C runtime's heap keeps of it.
            os::GiveFreedMemoryBack();
            PostMessageW(window_, kRunEnded, 0, 0);
        });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void RunThread::Join() {
    if (Running()) thread_.join();
}

void RunThread::Deliver(LPARAM call) {
    const std::unique_ptr<std::function<void()>> posted(
        reinterpret_cast<std::function<void()>*>(call));
    (*posted)();
}

}  // namespace kestrin::win32
