#include "tally/Threads.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace kestrin {

namespace detail {

// A thread that runs the work it is given, one piece at a time, and waits parked
// between pieces. A system may run a new thread first on the processor of the
// thread that started it, and move it only later: the second range of a 100 MB
// log began 0.1 to 4 ms after the first on a virtual machine of two processors,
// where a parked thread is woken on the processor it last ran on in 0.06 ms.
struct ParkedThread {
    std::mutex mutex;
    std::condition_variable changed;
    std::function<void()> work;  // empty once the piece has ended

    void Run() {
        std::unique_lock lock(mutex);
        for (;;) {
            changed.wait(lock, [&] { return bool(work); });
            lock.unlock();
            work();
            lock.lock();
            work = nullptr;  // the piece's captures go before its giver is told
            changed.notify_all();
        }
    }
};

}  // namespace detail

namespace {

using detail::ParkedThread;

// The parked threads of the process, as many as were ever helping at once. They
// are never ended: a thread parked when the process exits holds nothing.
class ParkedThreads {
  public:
    static ParkedThreads& Instance() {
        static ParkedThreads& parked = *new ParkedThreads;
        return parked;
    }

    // A parked thread, or a new one; none when the system has no more threads.
    ParkedThread* Take() {
        {
            const std::lock_guard lock(mutex_);
            if (!idle_.empty()) {
                ParkedThread* thread = idle_.back();
                idle_.pop_back();
                return thread;
            }
        }
        auto thread = std::make_unique<ParkedThread>();
        const std::lock_guard lock(mutex_);
        // Room for it among the parked first, so that giving it back cannot fail.
        idle_.reserve(started_ + 1);
        try {
            std::thread(&ParkedThread::Run, thread.get()).detach();
        } catch (const std::system_error&) {
            return nullptr;
        }
        ++started_;
        return thread.release();
    }

    void Give(ParkedThread* thread) {
        const std::lock_guard lock(mutex_);
        idle_.push_back(thread);
    }

  private:
    std::mutex mutex_;
    std::vector<ParkedThread*> idle_;
    std::size_t started_ = 0;
};

}  // namespace

HelperThreads::HelperThreads(HelperThreads&& other) noexcept
    : threads_(std::exchange(other.threads_, {})) {}

HelperThreads& HelperThreads::operator=(HelperThreads&& other) noexcept {
    if (this != &other) {
        Wait();
        threads_ = std::exchange(other.threads_, {});
    }
    return *this;
}

void HelperThreads::Wait() {
    for (ParkedThread* thread : threads_) {
        {
            std::unique_lock lock(thread->mutex);
            thread->changed.wait(lock, [&] { return !thread->work; });
        }
        ParkedThreads::Instance().Give(thread);
    }
    threads_.clear();
}

HelperThreads StartThreads(std::size_t count, const std::function<void()>& work) {
    HelperThreads helpers;
    helpers.threads_.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        ParkedThread* thread = ParkedThreads::Instance().Take();
        if (thread == nullptr) break;  // fewer will do
        // Held before the work is given, so that a copy of the work that fails gives
        // the thread back.
        helpers.threads_.push_back(thread);
        {
            const std::lock_guard lock(thread->mutex);
            thread->work = work;
        }
        thread->changed.notify_all();
    }
    return helpers;
}

void ShareOut(std::size_t count, std::size_t threads, const std::function<void(std::size_t)>& task,
              const std::function<void()>& waiting) {
    std::atomic<std::size_t> next{0};
    std::mutex mutex;
    std::condition_variable finished;
    std::size_t running = 0;
    std::exception_ptr failure;
    const auto work = [&] {
        for (std::size_t i; (i = next.fetch_add(1)) < count;) {
            try {
                task(i);
            } catch (...) {
                const std::lock_guard lock(mutex);
                if (!failure) failure = std::current_exception();
                next = count;
            }
        }
        const std::lock_guard lock(mutex);
        --running;
        finished.notify_all();
    };
    {
        const std::lock_guard lock(mutex);
        running = 1;
    }
    HelperThreads helpers;
    if (threads > 1 && count > 1) {
        // Counted before they start, so that none can end before it was counted.
        {
            const std::lock_guard lock(mutex);
            running += std::min(threads, count) - 1;
        }
        helpers = StartThreads(std::min(threads, count) - 1, work);
        const std::lock_guard lock(mutex);
        running -= std::min(threads, count) - 1 - helpers.Count();
    }
    work();
    std::unique_lock lock(mutex);
    while (running > 0) {
        if (!finished.wait_for(lock, std::chrono::milliseconds(20), [&] { return running == 0; }) &&
            waiting) {
            lock.unlock();
            waiting();
            lock.lock();
        }
    }
    lock.unlock();
    helpers.Wait();
    if (failure) std::rethrow_exception(failure);
}

}  // namespace kestrin
