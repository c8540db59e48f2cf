#include "tally/Threads.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>

namespace kestrin {

std::vector<std::jthread> StartThreads(std::size_t count, const std::function<void()>& work) {
    std::vector<std::jthread> threads;
    threads.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        try {
            threads.emplace_back(work);
        } catch (const std::system_error&) {
            break;  // the system has no more threads for this process: fewer will do
        }
    }
    return threads;
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
    std::vector<std::jthread> helpers;
    if (threads > 1 && count > 1) {
        // Counted before they start, so that none can end before it was counted.
        {
            const std::lock_guard lock(mutex);
            running += std::min(threads, count) - 1;
        }
        helpers = StartThreads(std::min(threads, count) - 1, work);
        const std::lock_guard lock(mutex);
        running -= std::min(threads, count) - 1 - helpers.size();
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
    helpers.clear();
    if (failure) std::rethrow_exception(failure);
}

}  // namespace kestrin
