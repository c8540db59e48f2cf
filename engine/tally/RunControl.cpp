#include "tally/RunControl.h"

#include <algorithm>

namespace kestrin {
namespace {

// The share of the whole run each phase takes, in RunPhase's order: reading the
// logs takes most; the report's two listings and the ranking the rest.
constexpr std::array<double, kRunPhases> kShares = {0.675, 0.075, 0.10, 0.10, 0.025, 0.025};

std::size_t IndexOf(RunPhase name) {
    return std::size_t(name);
}

}  // namespace

Phase::Phase(RunControl& control, RunPhase name, std::uint64_t total)
    : control_(control), name_(name), total_(total) {
    control.totals_[IndexOf(name)] = total;
    control.ended_[IndexOf(name)] = false;
}

Phase::~Phase() {
    if (control_.Check()) return;
    control_.ended_[IndexOf(name_)] = true;
    control_.Tell(name_);
}

Status Phase::Check() const {
    return control_.Check();
}

Status Phase::Poll() {
    control_.Tell(name_);
    return Check();
}

Status Phase::Piece::Reach(std::uint64_t position) {
    // In floating point: a terabyte's units times millions of entries pass 2^64.
    const auto units = scale_ == 1 ? position : std::uint64_t(double(position) * scale_);
    std::uint64_t told = told_.load(std::memory_order_relaxed);
    while (units > told && !told_.compare_exchange_weak(told, units, std::memory_order_relaxed)) {
    }
    if (units > told) phase_.control_.Add(phase_.name_, units - told);
    return phase_.Check();
}

RunControl::RunControl(const std::atomic<bool>* stop, Listener listener)
    : stop_(stop), listener_(std::move(listener)) {}

void RunControl::Add(RunPhase name, std::uint64_t units) {
    done_[IndexOf(name)].fetch_add(units, std::memory_order_relaxed);
    Tell(name);
}

void RunControl::Tell(RunPhase name) {
    if (!listener_ || std::this_thread::get_id() != owner_) return;
    // The phases' parts add up, so that phases that alternate (reading and
    // merging) never make the whole go back.
    double fraction = 0, phaseFraction = 0;
    for (std::size_t i = 0; i < kRunPhases; ++i) {
        const std::uint64_t done = std::min(done_[i].load(std::memory_order_relaxed), totals_[i]);
        const double part = ended_[i] ? 1 : totals_[i] == 0 ? 0 : double(done) / double(totals_[i]);
        fraction += kShares[i] * part;
        if (i == IndexOf(name)) phaseFraction = part;
    }
    const int thousandths = int(fraction * 1000);
    if (thousandths <= told_) return;
    told_ = thousandths;
    listener_({.fraction = fraction, .phase = name, .phaseFraction = phaseFraction});
}

}  // namespace kestrin
