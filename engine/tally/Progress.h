#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

namespace kestrin {

/// How far a run has come, and whether it is to stop: one object for the whole
/// run, which each of its phases (reading, merging, sorting, listing, ranking)
/// takes a share of. Any thread may advance a phase and ask whether to stop; only
/// the thread that made the Progress hears of it, so that a front end is told on
/// the run's own thread, and only when a thousandth of the run has passed.
class Progress {
  public:
    /// Told the fraction of the run done, from 0 to 1.
    using Listener = std::function<void(double fractionDone)>;

    /// `stop`, when given, stops the run once it is true; `listener` may be empty.
    explicit Progress(const std::atomic<bool>* stop = nullptr, Listener listener = {})
        : stop_(stop), listener_(std::move(listener)) {}
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    bool StopRequested() const {
        return stop_ != nullptr && stop_->load(std::memory_order_relaxed);
    }

    /// One phase of the run: `share` of the whole, done in `total` units of work.
    class Phase {
      public:
        /// The next phase of `run`, from where the last one ended.
        Phase(Progress& run, double share, std::uint64_t total)
            : run_(run), from_(run.next_), share_(share), total_(total) {
            run.next_ += share;
        }
        Phase(const Phase&) = delete;
        Phase& operator=(const Phase&) = delete;
        /// A phase that ends is done, unless the run is stopping.
        ~Phase() {
            if (!run_.StopRequested()) run_.Tell(from_ + share_);
        }

        /// `units` more of the phase are done: false when the run is to stop.
        bool Advance(std::uint64_t units = 0) {
            const std::uint64_t done = done_.fetch_add(units, std::memory_order_relaxed) + units;
            if (total_ > 0)
                run_.Tell(from_ + share_ * double(std::min(done, total_)) / double(total_));
            return !run_.StopRequested();
        }
        bool StopRequested() const { return run_.StopRequested(); }

      private:
        Progress& run_;
        double from_, share_;
        std::uint64_t total_;
        std::atomic<std::uint64_t> done_{0};
    };

  private:
    void Tell(double fraction) {
        if (!listener_ || std::this_thread::get_id() != owner_) return;
        const int thousandths = int(fraction * 1000);
        if (thousandths <= told_) return;
        told_ = thousandths;
        listener_(fraction);
    }

    const std::atomic<bool>* stop_;
    Listener listener_;
    std::thread::id owner_ = std::this_thread::get_id();
    double next_ = 0;  // where the next phase starts
    int told_ = -1;    // the thousandth last told
};

}  // namespace kestrin
