#include "tally/ParallelTally.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "input/LineCutter.h"
#include "input/LogRanges.h"
#include "tally/Threads.h"
#include "tally/UrlTally.h"

namespace kestrin {

Result<LineCounts> TallyRange(const os::File& file, LogRange range, const UrlCut& cut,
                              UrlTally& tally, Phase::Piece& reading, std::size_t bufferSize) {
    RangeSource source(file, range);
    return TallyRange(source, cut, tally, reading, bufferSize);
}

Result<LineCounts> TallyRange(RangeSource& source, const UrlCut& cut, UrlTally& tally,
                              Phase::Piece& reading, std::size_t bufferSize) {
    LineCutter cutter(source, cut.rule, bufferSize);
    return TallyLines(cutter, source, cut.hosts, tally, reading);
}

namespace {

// A part of the log read into a tally of its own: one of the ranges the log was cut
// into, or the end of one taken over, which lies within the same range.
struct Part {
    Part(const os::File& file, LogRange range, std::size_t within, UrlTally& first)
        : begin(range.begin),
          range(within),
          source(file, range),
          own(begin > 0 ? std::make_unique<UrlTally>(first.Page()) : nullptr),
          tally(own ? *own : first) {}
    std::int64_t begin;
    std::size_t range;  // of the ranges the log was cut into
    RangeSource source;
    std::unique_ptr<UrlTally> own;  // none for the log's first part
    UrlTally& tally;
    enum State { kWaiting, kRead, kEnded };
    std::atomic<State> state = kWaiting;
    Result<LineCounts> counts = LineCounts{};
};

// The parts of a log being read, which together hold each of its bytes once.
class LogParts {
  public:
    LogParts(const os::File& file, std::int64_t leastTaken, UrlTally& first)
        : file_(file), leastTaken_(leastTaken), first_(first) {}

    // A part of `range`, which lies within range `within` of those the log was cut
    // into: of the run's tally for the log's first, else of one of its own.
    Part& Add(LogRange range, std::size_t within) {
        const std::lock_guard lock(mutex_);
        return parts_.emplace_back(file_, range, within, first_);
    }

    // Reads `part` into its tally, the calling thread's until it ends.
    void Read(Part& part, const UrlCut& cut, Phase& reading) {
        part.state = Part::kRead;
        struct Ended {
            LogParts& parts;
            Part& part;
            ~Ended() {
                part.state = Part::kEnded;
                if (!part.counts || std::uncaught_exceptions() > 0) parts.failed_ = true;
            }
        } ended{*this, part};
        Phase::Piece piece(reading);
        part.counts = TallyRange(part.source, cut, part.tally, piece);
    }

    // A part made of the second half of what is left of the part being read with
    // most left, from a line's start, when that half is at least the least taken;
    // nothing while a range waits for its thread (one the system did not start), nor
    // once a part has failed: the run ends with its failure, the log left unread.
    Result<Part*> TakeOver() {
        for (;;) {
            Part* most = nullptr;
            LogRange left{};
            {
                const std::lock_guard lock(mutex_);
                if (failed_) return nullptr;
                for (Part& part : parts_) {
                    const LogRange rest = part.source.Left();
                    if (part.state == Part::kWaiting) return nullptr;
                    if (part.state == Part::kRead &&
                        rest.end - rest.begin > left.end - left.begin) {
                        most = &part;
                        left = rest;
                    }
                }
            }
            if (most == nullptr || left.end - left.begin < 2 * leastTaken_) return nullptr;
            Result<std::optional<std::int64_t>> from =
                AfterNextLf(file_, left.begin + (left.end - left.begin) / 2, left.end);
            if (!from) {
                failed_ = true;
                return from.Failure();
            }
            if (!*from || left.end - **from < leastTaken_) return nullptr;
            // Else its reader asked past `from` meanwhile, or another took it over:
            // what is left is less, and looked at again.
            if (std::optional<LogRange> taken = most->source.GiveAwayFrom(**from))
                return &Add(*taken, most->range);
        }
    }

    // The parts in the log's order, once no thread reads any.
    std::vector<Part*> InOrder() {
        std::vector<Part*> order;
        for (Part& part : parts_) order.push_back(&part);
        std::sort(order.begin(), order.end(),
                  [](const Part* a, const Part* b) { return a->begin < b->begin; });
        return order;
    }

  private:
    const os::File& file_;
    std::int64_t leastTaken_;
    UrlTally& first_;
    std::mutex mutex_;
    std::deque<Part> parts_;  // never moved: threads read them
    std::atomic<bool> failed_ = false;
};

// Merges `later`'s tally into `into`'s, told as `bytes` of the log, each form
// merged worth its share.
Status MergePart(Part& into, Part& later, std::int64_t bytes, Phase& merging) {
    const std::uint64_t forms = later.tally.RecordCount();
    Phase::Piece piece(merging, forms == 0 ? 1 : double(bytes) / double(forms));
    Status fault = into.tally.Merge(std::move(later.tally), &piece);
    later.own.reset();
    if (!fault && forms == 0) fault = piece.Reach(std::uint64_t(bytes));
    return fault;
}

// Merges the tallies of the log's parts (`order`, in the log's order) into the
// first's. The parts taken over within one range go first into that range's
// first part, and the ranges then into the log's first: a range's big tally is
// moved over without its forms put in the slots, and a part looked up after it
// would have them all put there first (a 1 GB log of 2 M URLs ran 0.74 s so
// against 1.05 s).
// The phase is told of the log's bytes, each part's as it is merged.
Status MergeParts(std::span<Part* const> order, std::int64_t size, Phase& merging) {
    const auto bytes = [&](std::size_t i) {
        return (i + 1 < order.size() ? order[i + 1]->begin : size) - order[i]->begin;
    };
    if (Status stop = Phase::Piece(merging).Reach(std::uint64_t(bytes(0)))) return stop;
    std::vector<std::size_t> firsts{0};
    for (std::size_t i = 1; i < order.size(); ++i) {
        if (order[i]->range != order[firsts.back()]->range) {
            firsts.push_back(i);
        } else if (Status fault = MergePart(*order[firsts.back()], *order[i], bytes(i), merging)) {
            return fault;
        }
    }
    for (const std::size_t first : std::span(firsts).subspan(1)) {
        if (Status fault = MergePart(*order[0], *order[first], bytes(first), merging)) return fault;
    }
    return std::nullopt;
}

}  // namespace

Result<LineCounts> TallyInRanges(const os::File& file, std::int64_t size, std::size_t jobs,
                                 std::int64_t minimumRange, const UrlCut& cut, UrlTally& tally,
                                 const ReadingPhases& phases) {
    const std::size_t threads =
        std::clamp<std::size_t>(std::size_t(size / std::max<std::int64_t>(minimumRange, 1)), 1,
                                std::max<std::size_t>(jobs, 1));
    Result<std::vector<LogRange>> ranges = SplitLog(file, size, threads);
    if (!ranges) return ranges.Failure();
    LogParts parts(file, std::max<std::int64_t>(minimumRange, 1), tally);
    std::vector<Part*> first;
    for (const LogRange& range : *ranges) first.push_back(&parts.Add(range, first.size()));
    ShareOut(
        first.size(), threads,
        [&](std::size_t i) {
            for (Part* part = first[i]; part != nullptr;) {
                parts.Read(*part, cut, phases.reading);
                if (!part->counts) return;
                Result<Part*> next = parts.TakeOver();
                if (!next) {
                    part->counts = next.Failure();
                    return;
                }
                part = *next;
            }
        },
        [&] { (void)phases.reading.Poll(); });
    const std::vector<Part*> order = parts.InOrder();
    LineCounts total;
    for (const Part* part : order) {
        if (!part->counts) return part->counts.Failure();
        total += *part->counts;
    }
    if (Status stop = phases.reading.Check()) return *stop;
    if (Status fault = MergeParts(order, size, phases.merging)) return *fault;
    return total;
}

}  // namespace kestrin
