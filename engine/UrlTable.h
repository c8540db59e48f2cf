#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "CodePage.h"

namespace kestrin {

/// One distinct URL: the bytes it first had in the log, and how many lines yielded it.
struct UrlEntry {
    std::string_view Url;
    std::uint64_t Count = 0;
};

/// The tally of one run. URLs are the same when they decode to the same text;
/// undecodable bytes stay apart as U+DC00 + byte. The table counts through a hash
/// index, so a run with millions of distinct URLs costs no more per line than one
/// with ten; SortByUrl then puts the entries in URL order for the listing.
class UrlTable {
  public:
    UrlTable() = default;
    UrlTable(const UrlTable&) = delete;
    UrlTable& operator=(const UrlTable&) = delete;

    /// Empties the table for a run whose URLs are in `codePage` (which must outlive it).
    void Reset(const CodePage& codePage);

    std::size_t EntryCount() const { return entries_.size(); }

    /// Entry `index` of the listing order set by SortByUrl or RankByCount.
    const UrlEntry& operator[](std::size_t index) const { return entries_[order_[index]].entry; }

  private:
    friend std::int64_t LookupUrl(UrlTable& table, std::string_view url);
    friend void InsertUrl(UrlTable& table, std::int64_t slot, std::string_view url);
    friend void SortByUrl(UrlTable& table);
    friend void RankByCount(UrlTable& table);

    struct Stored {
        UrlEntry entry;
        std::string_view key;  // the URL's text in an order-keeping byte form
        std::size_t hash;
    };

    std::string_view MakeKey(std::string_view url);
    std::string_view Keep(std::string_view bytes);
    void Grow();

    const CodePage* page_ = nullptr;
    std::vector<Stored> entries_;
    std::vector<std::size_t> slots_;  // entry index + 1, or 0 for a free slot
    std::vector<std::size_t> order_;
    std::vector<std::unique_ptr<char[]>> blocks_;
    std::size_t blockUsed_ = 0, blockSize_ = 0;
    // The key and hash of the URL last looked up, for the InsertUrl that follows.
    std::string scratchKey_;
    std::u16string scratchUnits_;
    std::string_view pendingKey_;
    std::size_t pendingHash_ = 0;
};

/// Counts `url` when the table holds it already and returns -1; otherwise returns
/// the slot where InsertUrl must put it.
std::int64_t LookupUrl(UrlTable& table, std::string_view url);

/// Adds `url` with count 1 at the slot the LookupUrl of the same URL just returned.
void InsertUrl(UrlTable& table, std::int64_t slot, std::string_view url);

/// Orders the entries by URL: UTF-16 code unit by code unit, a prefix first.
void SortByUrl(UrlTable& table);

/// Reorders the listing by descending count exactly as a selection sort that swaps
/// the leftmost largest count of the rest into place would, in O(n log n).
void RankByCount(UrlTable& table);

}  // namespace kestrin
