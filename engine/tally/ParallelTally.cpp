#include "tally/ParallelTally.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "tally/UrlTally.h"

namespace kestrin {
namespace {

// One range tallied on a thread of its own.
struct RangeJob {
    explicit RangeJob(const CodePage& page) : tally(page) {}
    UrlTally tally;
    LineCounts counts;
    std::atomic<std::int64_t> bytesRead{0};
    int error = 0;
    std::exception_ptr failure;
};

}  // namespace

int TallyInRanges(int fd, std::int64_t size, std::size_t jobs, const CodePage& page,
                  const UrlCut& cut, UrlTally& tally, LineCounts& counts,
                  const KeepGoing& keepGoing) {
    int error = 0;
    const std::vector<LogRange> ranges = SplitLog(fd, size, std::max<std::size_t>(jobs, 1), error);
    if (error != 0) return error;

    std::atomic<bool> stop{false};
    // Each range says when it is done, so that the calling thread stops waiting at once.
    std::mutex doneMutex;
    std::condition_variable doneSignal;
    std::size_t rangesDone = 0;
    std::vector<std::unique_ptr<RangeJob>> others;
    for (std::size_t i = 1; i < ranges.size(); ++i)
        others.push_back(std::make_unique<RangeJob>(page));
    std::vector<std::thread> threads;
    for (std::size_t i = 1; i < ranges.size(); ++i) {
        threads.emplace_back([&, i, job = others[i - 1].get()] {
            try {
                job->error = TallyRange(fd, ranges[i], cut, job->tally, job->counts,
                                        [&](std::int64_t bytes) {
                                            job->bytesRead = bytes;
                                            return !stop.load(std::memory_order_relaxed);
                                        });
            } catch (...) {
                job->failure = std::current_exception();
                stop = true;
            }
            const std::lock_guard<std::mutex> lock(doneMutex);
            ++rangesDone;
            doneSignal.notify_one();
        });
    }
    // Progress and the stop are the calling thread's: it sums what every range
    // read. Reading counts for nine tenths of the log's bytes and merging the
    // tallies for the last tenth, so that the progress moves on through the merge.
    std::int64_t firstRead = 0;
    const auto tell = [&](std::int64_t bytes) {
        if (keepGoing && !keepGoing(bytes)) stop = true;
        return !stop.load();
    };
    auto report = [&] {
        std::int64_t total = firstRead;
        for (const auto& job : others) total += job->bytesRead.load(std::memory_order_relaxed);
        return tell(total - total / 10);
    };
    try {
        error = TallyRange(fd, ranges[0], cut, tally, counts, [&](std::int64_t bytes) {
            firstRead = bytes;
            return report();
        });
    } catch (...) {
        stop = true;
        for (std::thread& thread : threads) thread.join();
        throw;
    }
    firstRead = ranges[0].end - ranges[0].begin;
    for (std::unique_lock<std::mutex> lock(doneMutex); rangesDone < others.size();) {
        if (!doneSignal.wait_for(lock, std::chrono::milliseconds(20),
                                 [&] { return rangesDone == others.size(); })) {
            lock.unlock();
            report();
            lock.lock();
        }
    }
    for (std::thread& thread : threads) thread.join();
    for (const auto& job : others) {
        if (job->failure) std::rethrow_exception(job->failure);
        if (error == 0) error = job->error;
    }
    if (stop || error != 0) return error;
    const std::int64_t read = size - size / 10;
    for (std::size_t i = 0; i < others.size(); ++i) {
        const auto& job = others[i];
        tally.Merge(std::move(job->tally), [&](std::uint64_t done, std::uint64_t total) {
            const double merged =
                (double(i) + double(done) / double(total)) / double(others.size());
            return tell(read + std::int64_t(double(size - read) * merged));
        });
        if (stop) return 0;
        counts.lines += job->counts.lines;
        counts.withUrl += job->counts.withUrl;
    }
    return 0;
}

}  // namespace kestrin
