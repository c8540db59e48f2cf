#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <thread>

#include "os/Fault.h"

namespace kestrin {

/// The phases of a run, in the order they begin. Reading and merging the tallies
/// of a log read on several threads alternate, log by log; the others follow one
/// another.
enum class RunPhase { Reading, Merging, Sorting, Listing, Ranking, RankedListing };
inline constexpr std::size_t kRunPhases = 6;

/// How far a run has come when it tells its progress: the whole run and the phase
/// that told it, each from 0 to 1.
struct RunProgress {
    double fraction = 0;
    RunPhase phase = RunPhase::Reading;
    double phaseFraction = 0;
};

class RunControl;

/// One phase of a run, done in units of its own (bytes of the logs, entries). The
/// work tells it how far it has come and hears back whether to go on: a run asked
/// to stop answers every loop with the stop fault, which ends the loop as a read
/// error would. Any thread may tell a phase and ask it.
class Phase {
  public:
    Phase(const Phase&) = delete;
    Phase& operator=(const Phase&) = delete;
    /// A phase that ends is done, unless the run is stopping.
    ~Phase();

    /// The phase has come to `position` of its units (a position below the last one
    /// told changes nothing): the stop fault when the run is to stop.
    Status Reach(std::uint64_t position) { return own_.Reach(position); }
    /// The stop fault when the run is to stop, and nothing else.
    Status Check() const;
    /// As Check, and tells the front end how far the run has come, when called on
    /// the control's thread while other threads do the phase's work.
    Status Poll();
    std::uint64_t Total() const { return total_; }

    /// A piece of a phase's work that goes alongside others (a range of a log, one
    /// log of several read at once), each perhaps on a thread of its own: its
    /// positions count from its own start, each worth `scale` units of the phase.
    class Piece {
      public:
        explicit Piece(Phase& phase, double scale = 1) : phase_(phase), scale_(scale) {}
        Piece(const Piece&) = delete;
        Piece& operator=(const Piece&) = delete;

        /// As Phase::Reach, from the piece's own start. Threads may share a piece
        /// when each tells it a position all of them have reached.
        Status Reach(std::uint64_t position);
        Status Check() const { return phase_.Check(); }

      private:
        Phase& phase_;
        double scale_;
        std::atomic<std::uint64_t> told_ = 0;  // in units of the phase
    };

  private:
    friend class RunControl;
    Phase(RunControl& control, RunPhase name, std::uint64_t total);

    RunControl& control_;
    RunPhase name_;
    std::uint64_t total_;
    Piece own_{*this};
};

/// The one control of a run: whether it is to stop, and how far it has come. It
/// hands out the run's phases, each of which takes its share of the whole from one
/// table; the front end hears of the progress on the thread that made the control,
/// once another thousandth of the run has passed.
class RunControl {
  public:
    using Listener = std::function<void(const RunProgress&)>;

    /// `stop`, when given, stops the run once it is true; `listener` may be empty.
    explicit RunControl(const std::atomic<bool>* stop = nullptr, Listener listener = {});
    RunControl(const RunControl&) = delete;
    RunControl& operator=(const RunControl&) = delete;

    /// The phase `name` of the run, done in `total` units.
    Phase Begin(RunPhase name, std::uint64_t total) { return Phase(*this, name, total); }
    /// The stop fault when the run is to stop.
    Status Check() const {
        if (held_.load(std::memory_order_relaxed) == 0 && stop_ != nullptr &&
            stop_->load(std::memory_order_relaxed))
            return StopFault();
        return std::nullopt;
    }

    /// While one lives, no stop is seen: work that must not be left half done
    /// (a report written over the previous one in place) runs to its end, and the
    /// stop takes effect after it.
    class StopHeld {
      public:
        explicit StopHeld(RunControl& control) : control_(control) { ++control_.held_; }
        ~StopHeld() { --control_.held_; }
        StopHeld(const StopHeld&) = delete;
        StopHeld& operator=(const StopHeld&) = delete;

      private:
        RunControl& control_;
    };

  private:
    friend class Phase;
    // Adds `units` to what phase `name` has done, and tells the front end where it
    // is now when this is the control's thread.
    void Add(RunPhase name, std::uint64_t units);
    void Tell(RunPhase name);

    const std::atomic<bool>* stop_;
    std::atomic<int> held_ = 0;
    Listener listener_;
    std::thread::id owner_ = std::this_thread::get_id();
    std::array<std::atomic<std::uint64_t>, kRunPhases> done_{};
    std::array<std::uint64_t, kRunPhases> totals_{};
    std::array<bool, kRunPhases> ended_{};
    int told_ = -1;  // the thousandth last told
};

}  // namespace kestrin
