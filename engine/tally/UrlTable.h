#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "tally/LargeArray.h"
#include "tally/RecordStore.h"
#include "tally/RunControl.h"

namespace kestrin {

/// One distinct URL: the bytes it first had in the log, and how many lines yielded it.
struct UrlEntry {
    std::string_view Url;
    std::uint64_t Count = 0;
};

/// The listing of a finished tally, made by UrlTally::SortByUrl: the entries in
/// URL order until RankByCount puts them in ranked order.
class UrlTable {
  public:
    std::size_t EntryCount() const { return order_.size(); }

    /// Entry `index` of the current order.
    UrlEntry operator[](std::size_t index) const;

    /// Reorders the entries by descending count exactly as a selection sort that
    /// swaps the leftmost largest count of the rest into place would, in O(n log n).
    /// `ranking`, when given, advances by one for each entry in place; when the run
    /// is to stop the ranking ends early, leaving the order unfinished.
    Status RankByCount(Phase* ranking = nullptr);

  private:
    friend class UrlTally;
    UrlTable(detail::RecordStore records, detail::LargeArray<std::uint32_t> order)
        : records_(std::move(records)), order_(std::move(order)) {}

    detail::RecordStore records_;
    detail::LargeArray<std::uint32_t> order_;  // record references
};

}  // namespace kestrin
