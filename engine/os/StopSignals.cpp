#include "os/StopSignals.h"

#include <atomic>
#include <cstdint>

namespace kestrin::os {
namespace {

// The holds in the low half, the first ending that came during them in the high
// half: one word, so that a hold let go and a signal that comes meanwhile cannot
// miss each other. Atomic and lock-free, since a signal handler changes it.
std::atomic<std::uint32_t> holding{0};
static_assert(std::atomic<std::uint32_t>::is_always_lock_free, "a signal handler changes it");
constexpr std::uint32_t kHolds = 0xFFFF;
constexpr int kEndingShift = 16;

std::atomic<int> lineToBlank{0};
static_assert(std::atomic<int>::is_always_lock_free, "a signal handler reads it");

}  // namespace

void SetLineToBlank(int columns) {
    lineToBlank.store(columns, std::memory_order_release);
}

void detail::BlankLine(void (*write)(const char* bytes, std::size_t size)) {
    static constexpr char kSpaces[] = "                                ";
    constexpr int kChunk = sizeof kSpaces - 1;
    int left = lineToBlank.exchange(0, std::memory_order_acq_rel);
    if (left <= 0) return;
    write("\r", 1);
    for (; left > 0; left -= kChunk) write(kSpaces, std::size_t(left < kChunk ? left : kChunk));
    write("\r", 1);
}

EndingSignalsHeld::EndingSignalsHeld() {
    holding.fetch_add(1, std::memory_order_acq_rel);
}

EndingSignalsHeld::~EndingSignalsHeld() {
    std::uint32_t state = holding.load(std::memory_order_acquire);
    // The last hold takes the ending kept with it, which is then this thread's to act on.
    while (!holding.compare_exchange_weak(state, (state & kHolds) == 1 ? 0 : state - 1,
                                          std::memory_order_acq_rel))
        ;
    const int ending = int(state >> kEndingShift);
    if ((state & kHolds) == 1 && ending != 0) detail::EndProcess(ending);
}

bool detail::DeferEnding(int ending) {
    std::uint32_t state = holding.load(std::memory_order_acquire);
    do {
        if ((state & kHolds) == 0) return false;
        if ((state >> kEndingShift) != 0) return true;  // the first one counts
    } while (!holding.compare_exchange_weak(state, state | std::uint32_t(ending) << kEndingShift,
                                            std::memory_order_acq_rel));
    return true;
}

}  // namespace kestrin::os
