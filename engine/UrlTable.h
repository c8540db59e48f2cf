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

/// The tally of one run.
///
/// URLs are the same when they decode to the same text; undecodable bytes stay
/// apart as U+DC00 + byte. Lines are counted by the URL's exact bytes through a
/// hash index, so a known URL costs one probe and one compare, with no decoding;
/// a byte form seen for the first time is decoded once, and forms that decode
/// alike (two codes of one character) are merged by SortByUrl.
/// SortByUrl puts the entries in URL order, RankByCount in ranked order.
class UrlTable {
  public:
    UrlTable() = default;
    UrlTable(const UrlTable&) = delete;
    UrlTable& operator=(const UrlTable&) = delete;

    /// Empties the table for a run whose URLs are in `codePage` (which must outlive it).
    void Reset(const CodePage& codePage);

    /// The number of distinct URLs. Until SortByUrl, byte forms of one URL (two
    /// codes of one character) count apart.
    std::size_t EntryCount() const { return entryCount_; }

    /// Entry `index` of the listing order set by SortByUrl or RankByCount.
    UrlEntry operator[](std::size_t index) const;

    struct Record;  // one byte form of a URL, with its count
    /// The record a reference names; references grow in the order records are made.
    Record* Resolve(std::uint32_t ref) const;

  private:
    friend std::int64_t LookupUrl(UrlTable& table, std::string_view url);
    friend void InsertUrl(UrlTable& table, std::int64_t slot, std::string_view url);
    friend void CountUrls(UrlTable& table, const std::vector<std::string_view>& urls);
    friend void SortByUrl(UrlTable& table);
    friend void RankByCount(UrlTable& table);

    std::int64_t Lookup(std::string_view url, std::uint32_t tag);
    std::uint32_t NewRecordRef(std::size_t bytes);
    void Grow();
    template <typename Visit>
    void ForEachRecord(Visit visit);

    const CodePage* page_ = nullptr;
    std::size_t entryCount_ = 0;
    // Slot: hash tag in the high half, record reference + 1 in the low half, 0 if free.
    std::vector<std::uint64_t> slots_;
    // Records live in blocks; a reference is the block and the offset in 8-byte steps.
    std::vector<std::unique_ptr<std::uint64_t[]>> blocks_;
    std::vector<std::size_t> blockUsed_;  // words in use in each block
    std::size_t blockSize_ = 0;           // words in the last block
    std::vector<const Record*> order_;
    std::uint32_t pendingTag_ = 0;
    std::u16string scratchUnits_;
    std::string scratchKey_;
};

/// Counts `url` when the table holds it already and returns -1; otherwise returns
/// the slot where InsertUrl must put it.
std::int64_t LookupUrl(UrlTable& table, std::string_view url);

/// Adds `url` with count 1 at the slot the LookupUrl of the same URL just returned.
void InsertUrl(UrlTable& table, std::int64_t slot, std::string_view url);

/// How many URLs CountUrls fetches ahead at once.
inline constexpr std::size_t kUrlBatch = 32;

/// Counts each of `urls` (inserting the new ones) exactly as LookupUrl and
/// InsertUrl would one after the other, but faster for a batch of up to kUrlBatch.
void CountUrls(UrlTable& table, const std::vector<std::string_view>& urls);

/// Orders the entries by URL: UTF-16 code unit by code unit, a prefix first.
/// This ends the counting: the next LookupUrl needs a Reset first.
void SortByUrl(UrlTable& table);

/// Reorders the listing by descending count exactly as a selection sort that swaps
/// the leftmost largest count of the rest into place would, in O(n log n).
void RankByCount(UrlTable& table);

}  // namespace kestrin
