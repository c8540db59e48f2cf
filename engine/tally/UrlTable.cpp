#include "tally/UrlTable.h"

#include <algorithm>
#include <optional>

namespace kestrin {

UrlEntry UrlTable::operator[](std::size_t index) const {
    // The listing is read in order, its records are not: fetch well ahead, as
    // each is likely to miss the cache and its page's translation both.
    constexpr std::size_t kAhead = 24;
    if (index + kAhead < order_.size()) {
        const char* ahead = reinterpret_cast<const char*>(records_.Resolve(order_[index + kAhead]));
        __builtin_prefetch(ahead);
        __builtin_prefetch(ahead + 64);
    }
    const std::uint32_t ref = order_[index];
    return {records_.Resolve(ref)->Url(), records_.Count(ref)};
}

namespace {

// Entries between two looks for a stop: a few milliseconds of work.
constexpr std::size_t kRankPiece = 1 << 16;

// Sorts distinct positions below 64 x marks.size(). A count shared by a good part
// of the table (most URLs are seen once or twice) is sorted by marking its
// positions in a bit set and reading them back in order; `marks` is left clear.
void SortPositions(std::uint32_t* first, std::uint32_t* last, std::vector<std::uint64_t>& marks) {
    if (std::size_t(last - first) < marks.size()) {
        std::sort(first, last);
        return;
    }
    for (auto it = first; it != last; ++it) marks[*it / 64] |= std::uint64_t(1) << (*it % 64);
    for (std::size_t word = 0; word < marks.size(); ++word) {
        for (std::uint64_t bits = marks[word]; bits != 0; bits &= bits - 1)
            *first++ = std::uint32_t(word * 64 + std::size_t(__builtin_ctzll(bits)));
        marks[word] = 0;
    }
}

// The positions of the listing's entries by descending count, each count's in the
// order they hold now, and where each count begins among them.
struct ByCount {
    detail::LargeArray<std::uint32_t> positions;
    std::vector<bool> startsCount;
};

ByCount OrderByCount(const detail::LargeArray<std::uint64_t>& counts, std::uint64_t highest) {
    const std::size_t n = counts.size();
    ByCount by{detail::LargeArray<std::uint32_t>(n), std::vector<bool>(n)};
    if (highest < (std::uint64_t(1) << 24)) {
        // Counts are small next to the table: a counting sort, linear and stable.
        std::vector<std::uint32_t> firstOf(std::size_t(highest) + 2, 0);
        for (std::uint64_t count : counts) ++firstOf[std::size_t(highest - count) + 1];
        for (std::size_t c = 1; c < firstOf.size(); ++c) firstOf[c] += firstOf[c - 1];
        for (std::uint32_t i = 0; i < n; ++i)
            by.positions[firstOf[std::size_t(highest - counts[i])]++] = i;
    } else {
        for (std::uint32_t i = 0; i < n; ++i) by.positions[i] = i;
        std::stable_sort(by.positions.begin(), by.positions.end(),
                         [&](std::uint32_t a, std::uint32_t b) { return counts[a] > counts[b]; });
    }
    for (std::size_t k = 0; k < n; ++k)
        by.startsCount[k] = k == 0 || counts[by.positions[k]] != counts[by.positions[k - 1]];
    return by;
}

// The counts are gathered from records all over the table, a cache miss each: a
// stop is looked for as they are. None when the run is to stop.
std::optional<ByCount> OrderByCount(const detail::RecordStore& records,
                                    const detail::LargeArray<std::uint32_t>& order,
                                    const Phase* ranking) {
    const std::size_t n = order.size();
    detail::LargeArray<std::uint64_t> counts(n);
    std::uint64_t highest = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (i % kRankPiece == 0 && ranking != nullptr && ranking->Check()) return std::nullopt;
        if (i + 16 < n) __builtin_prefetch(records.Resolve(order[i + 16]));
        counts[i] = records.Count(order[i]);
        highest = std::max(highest, counts[i]);
    }
    return OrderByCount(counts, highest);
}

}  // namespace

Status UrlTable::RankByCount(Phase* ranking) {
    // The selection sort that swaps the leftmost largest count of the rest into
    // place takes the entries of each count, highest count first, in the order
    // of the positions they hold when their count's turn comes; and it moves
    // only the entry at the front, to where the one taken stood. So order the
    // entries by count once, then take each count's positions in order, swapping
    // as it would. Arrays of 32-bit positions, so that a table of tens of millions
    // of entries ranks in little more memory than its listing.
    const std::size_t n = order_.size();
    std::optional<ByCount> ordered = OrderByCount(records_, order_, ranking);
    if (!ordered) return StopFault();
    ByCount by = std::move(*ordered);
    detail::LargeArray<std::uint32_t>& byCount = by.positions;
    detail::LargeArray<std::uint32_t> entryAt(n), positionOf(n);
    for (std::uint32_t i = 0; i < n; ++i) entryAt[i] = positionOf[i] = i;
    std::vector<std::uint64_t> marks((n + 63) / 64);
    std::size_t front = 0;
    // Told, and the stop looked for, each piece of entries placed and at each
    // count's end: most URLs of a big log share one or two counts, whose turn alone
    // takes a good part of the ranking.
    const auto stop = [&] { return ranking == nullptr ? Status() : ranking->Reach(front); };
    for (std::size_t first = 0; first < n;) {
        std::size_t last = first + 1;
        while (last < n && !by.startsCount[last]) ++last;
        // The count's positions take the place of its entries, read just before.
        for (std::size_t k = first; k < last; ++k) byCount[k] = positionOf[byCount[k]];
        SortPositions(byCount.data() + first, byCount.data() + last, marks);
        for (std::size_t k = first; k < last; ++k) {
            const std::uint32_t taken = byCount[k];
            const std::uint32_t moved = entryAt[front], chosen = entryAt[taken];
            entryAt[front] = chosen;
            entryAt[taken] = moved;
            positionOf[chosen] = std::uint32_t(front);
            positionOf[moved] = taken;
            if (++front % kRankPiece == 0) {
                if (Status stopped = stop()) return stopped;
            }
        }
        if (Status stopped = stop()) return stopped;
        first = last;
    }
    by = {};
    // The ranked references, written over an array no longer needed.
    for (std::size_t i = 0; i < n; ++i) positionOf[i] = order_[entryAt[i]];
    order_.swap(positionOf);
    return std::nullopt;
}

}  // namespace kestrin
