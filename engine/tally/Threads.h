#pragma once

#include <cstddef>
#include <functional>
#include <vector>

namespace kestrin {

namespace detail {
struct ParkedThread;
}

/// Threads helping the calling one, each running the work StartThreads gave it.
/// Destroying them, or Wait, waits for that work to end, on every path.
class HelperThreads {
  public:
    HelperThreads() = default;
    HelperThreads(HelperThreads&& other) noexcept;
    HelperThreads& operator=(HelperThreads&& other) noexcept;
    HelperThreads(const HelperThreads&) = delete;
    HelperThreads& operator=(const HelperThreads&) = delete;
    ~HelperThreads() { Wait(); }

    std::size_t Count() const { return threads_.size(); }
    /// Waits for every helper's work to end; none helps after.
    void Wait();

  private:
    friend HelperThreads StartThreads(std::size_t count, const std::function<void()>& work);
    std::vector<detail::ParkedThread*> threads_;
};

/// Starts up to `count` threads, each running `work`. A thread the system cannot
/// start is left out, so that the work falls to fewer threads, down to the calling
/// one alone; `work` must be written so, and must not throw. Threads are kept
/// parked once their work has ended, for the next work: work on several threads
/// in turn (a log's ranges, its sort, its listing) starts each thread once.
HelperThreads StartThreads(std::size_t count, const std::function<void()>& work);

/// Runs `task(i)` for every i in [0, count), in order of i as threads come free,
/// on up to `threads` threads, the calling one among them. While its own tasks are
/// done and others still run, the calling thread calls `waiting` now and then (to
/// tell progress, say). The first exception a task throws is thrown here, once
/// every task has ended; the tasks not yet begun by then are not begun.
void ShareOut(std::size_t count, std::size_t threads, const std::function<void(std::size_t)>& task,
              const std::function<void()>& waiting = {});

}  // namespace kestrin
