#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tally/LargeArray.h"
#include "tally/RecordStore.h"
#include "tally/RunControl.h"
#include "tally/UrlTable.h"

namespace kestrin {

class CodePage;

/// The counting half of a run's tally: every URL a line yields goes through
/// Count, and SortByUrl then ends the counting and hands over the listing.
///
/// URLs are the same when they decode to the same text; undecodable bytes stay
/// apart as U+DC00 + byte. Lines are counted by the URL's exact bytes through a
/// hash index, so a known URL costs one probe and one compare, with no decoding;
/// a byte form seen for the first time is decoded once, and forms that decode
/// alike (two codes of one character) are merged by SortByUrl.
class UrlTally {
  public:
    /// A tally of URLs in `codePage`, which must outlive it.
    explicit UrlTally(const CodePage& codePage);

    /// Counts one line's URL. The bytes are copied: the line may go right after.
    void Count(std::string_view url);
    /// Counts `url` `times` times at once (the entries of merged reports).
    void Count(std::string_view url, std::uint64_t times);
    /// Counts each of `urls` once, in their order, as many Count calls would, but
    /// without copying them first: their bytes need only last the call.
    void Count(std::span<const std::string_view> urls);

    /// Adds the tally of the log's next part: merging the tallies of consecutive
    /// parts in their order gives the tally of the whole, each URL shown in the
    /// form that came first. The records of a `later` of many forms are moved
    /// over, not copied; those of one of few are looked up, and the new ones
    /// copied. `later` is left empty, as Clear leaves it. Both must count in the
    /// same code page.
    /// `merging`, when given, is told the forms of `later` merged; when the run is
    /// to stop, Merge says so. A limit `later` passed is this tally's failure too.
    Status Merge(UrlTally&& later, Phase::Piece* merging = nullptr);

    /// Empties the tally for another log, keeping the memory it has (the system
    /// zeroes fresh memory at its first touch, and a table that has grown needs
    /// not grow again).
    void Clear();

    /// Ends the counting: the entries in URL order (UTF-16 code unit by code unit,
    /// a prefix first), byte forms of one URL merged and shown as first seen.
    /// `sorting`, when given, is told the entries in place, and its stop ends the
    /// sort. The sort runs on up to `threads` threads, on the calling one alone for
    /// a small table. A limit the tally passed is the failure.
    Result<UrlTable> SortByUrl(Phase* sorting = nullptr, unsigned threads = 1) &&;

    /// The first limit the tally passed (a URL too long, too many URLs, a count
    /// past 2^64 - 1) by the URLs given so far, kept from then on: what was past it
    /// was not counted.
    const Status& Failure() {
        CountBatch();
        return records_.Failure();
    }

    const CodePage& Page() const { return *page_; }
    /// The byte forms counted so far (some of which SortByUrl may merge).
    std::size_t RecordCount() const { return records_.RecordCount() + batchEnds_.size(); }

  private:
    // URLs are counted a batch at a time, so that the slots and records of the
    // whole batch are fetched ahead and the waits for memory overlap.
    static constexpr std::size_t kBatch = 32;
    // A URL this long is counted at once: fetching ahead saves nothing next to a copy.
    static constexpr std::size_t kLongUrl = 4096;

    // Where a URL the table lacks goes: its free slot and its hash tag.
    struct Slot {
        std::size_t index;
        std::uint32_t tag;
    };

    // Counts `url` `times` times, in a batch unless it is long.
    void Add(std::string_view url, std::uint64_t times);
    void CountBatch();
    // Counts `count` URLs, each `times[i]` times (once each without `times`).
    void CountAtOnce(const std::string_view* urls, std::size_t count, const std::uint64_t* times);
    // Counts `url` when the table holds it; otherwise says where InsertUrl puts it.
    std::optional<Slot> LookupUrl(std::string_view url, std::uint32_t tag, std::uint64_t times = 1);
    void InsertUrl(Slot slot, std::string_view url, std::uint64_t count = 1);
    void PlaceInSlot(Slot slot, std::uint32_t ref);
    // Puts the records a merge moved in into the slots.
    void IndexMerged();
    void Grow(std::size_t size);

    const CodePage* page_;
    // Slot: hash tag in the high half, record reference + 1 in the low half, 0 if
    // free. Filled up to three quarters: eight bytes a slot are a good part of a
    // big table's memory.
    static constexpr std::size_t kFirstSlots = 1024;
    detail::ResidentLargeArray<std::uint64_t> slots_ =
        detail::ResidentLargeArray<std::uint64_t>(kFirstSlots);
    detail::RecordStore records_;
    std::string batchBytes_;
    std::vector<std::size_t> batchEnds_;
    std::vector<std::uint64_t> batchTimes_;
    // The first block whose records are not in the slots: a merge moves records in
    // without them.
    static constexpr std::size_t kAllIndexed = ~std::size_t(0);
    // Fewer forms than this are merged by looking them up: a table of so few stays
    // in the processor's caches, where a lookup costs less than sorting a form
    // twice. A log of a gigabyte with 235 k URLs, 150 k of them in each half, ran
    // slower merged by moving; one with 2 M, much faster.
    static constexpr std::size_t kFewForms = 1 << 18;
    std::size_t unindexedFrom_ = kAllIndexed;
};

}  // namespace kestrin
