#include "tally/UrlTable.h"

#include <algorithm>

namespace kestrin {

UrlEntry UrlTable::operator[](std::size_t index) const {
    // The listing is read in order, its records are not: fetch a few ahead.
    if (index + 8 < order_.size()) {
        const char* ahead = reinterpret_cast<const char*>(order_[index + 8]);
        __builtin_prefetch(ahead);
        __builtin_prefetch(ahead + 64);
    }
    const detail::Record* record = order_[index];
    return {record->Url(), record->count};
}

void UrlTable::RankByCount() {
    // The selection sort that swaps the leftmost largest count of the rest into
    // place takes the entries of each count, highest count first, in the order
    // of the positions they hold when their count's turn comes; and it moves
    // only the entry at the front, to where the one taken stood. So sort by count
    // once, then take each count's positions in order, swapping as it would.
    const std::size_t n = order_.size();
    std::vector<std::pair<std::uint64_t, std::uint32_t>> byCount(n);  // count, position
    std::vector<std::uint32_t> entryAt(n), positionOf(n), positions;
    for (std::uint32_t i = 0; i < n; ++i) {
        byCount[i] = {order_[i]->count, i};
        entryAt[i] = positionOf[i] = i;
    }
    std::sort(byCount.begin(), byCount.end(),
              [](const auto& a, const auto& b) { return a.first > b.first; });
    std::size_t front = 0;
    for (std::size_t first = 0; first < n;) {
        std::size_t last = first + 1;
        while (last < n && byCount[last].first == byCount[first].first) ++last;
        positions.clear();
        for (std::size_t k = first; k < last; ++k)
            positions.push_back(positionOf[byCount[k].second]);
        std::sort(positions.begin(), positions.end());
        for (std::uint32_t taken : positions) {
            const std::uint32_t moved = entryAt[front], chosen = entryAt[taken];
            entryAt[front] = chosen;
            entryAt[taken] = moved;
            positionOf[chosen] = std::uint32_t(front);
            positionOf[moved] = taken;
            ++front;
        }
        first = last;
    }
    std::vector<const detail::Record*> ranked(n);
    for (std::size_t i = 0; i < n; ++i) ranked[i] = order_[entryAt[i]];
    order_.swap(ranked);
}

}  // namespace kestrin
