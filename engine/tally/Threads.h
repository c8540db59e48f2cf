#pragma once

#include <cstddef>
#include <functional>
#include <thread>
#include <vector>

namespace kestrin {

/// Starts up to `count` threads, each running `work`. A thread the system cannot
/// start is left out, so that the work falls to fewer threads, down to the calling
/// one alone; `work` must be written so. The threads are joined when the returned
/// ones are destroyed, on every path.
std::vector<std::jthread> StartThreads(std::size_t count, const std::function<void()>& work);

/// Runs `task(i)` for every i in [0, count), in order of i as threads come free,
/// on up to `threads` threads, the calling one among them. While its own tasks are
/// done and others still run, the calling thread calls `waiting` now and then (to
/// tell progress, say). The first exception a task throws is thrown here, once
/// every task has ended; the tasks not yet begun by then are not begun.
void ShareOut(std::size_t count, std::size_t threads, const std::function<void(std::size_t)>& task,
              const std::function<void()>& waiting = {});

}  // namespace kestrin
