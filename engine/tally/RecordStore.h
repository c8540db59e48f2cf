#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "os/Fault.h"

namespace kestrin::detail {

/// One byte form of a URL and how many lines yielded it, in eight bytes before
/// the URL's bytes: a table of millions of short URLs is mostly headers otherwise.
/// The sort key (the UTF-16 code units) is not stored: it is decoded from the
/// bytes when the sort needs it, which is rare past the first few bytes.
struct Record {
    static constexpr std::uint32_t kPlainFlag = 0x80000000;  // the bytes are the key

    std::uint32_t countLow;  // the low half of the count; the store keeps the rest
    std::uint32_t lengthAndFlag;

    std::uint32_t Length() const { return lengthAndFlag & ~kPlainFlag; }
    bool Plain() const { return (lengthAndFlag & kPlainFlag) != 0; }
    const char* Bytes() const { return reinterpret_cast<const char*>(this + 1); }
    char* Bytes() { return reinterpret_cast<char*>(this + 1); }
    std::string_view Url() const { return {Bytes(), Length()}; }
};

/// Records packed into big blocks and named by 32-bit references, which grow in
/// the order the records were made: the lowest of two is the form seen first.
class RecordStore {
  public:
    /// A new record with count `count`; `plain` when the bytes are their own key.
    /// Nothing past 4 G references or for a URL of 2 GiB: the store's Failure says so.
    std::optional<std::uint32_t> Add(std::string_view url, bool plain, std::uint64_t count = 1);

    Record* Resolve(std::uint32_t ref) const {
        return reinterpret_cast<Record*>(blocks_[ref >> kOffsetBits].get() +
                                         (ref & (kBlockWords - 1)));
    }

    /// Adds one line to the record: the common case, a 32-bit increment.
    void CountOne(std::uint32_t ref, Record* record) {
        if (++record->countLow == 0) CarryOne(ref, record);
    }
    /// Adds nothing where the count would pass 2^64 - 1 (only counts added up from
    /// reports can): the store's Failure says so.
    void AddCount(std::uint32_t ref, std::uint64_t count);
    std::uint64_t Count(std::uint32_t ref) const;
    /// Takes the count away from the record (for forms merged into another).
    std::uint64_t TakeCount(std::uint32_t ref);
    /// Whether some count has passed 32 bits.
    bool HasHighCounts() const { return !highCounts_.empty(); }
    /// Moves the count of `from` to `to`, as AddCount(to, TakeCount(from)) would,
    /// in a store where no count has passed 32 bits, when their sum does not: then
    /// only the two records are touched, and threads may move the counts of other
    /// records at once. False, and nothing moved, otherwise.
    bool MoveLowCount(std::uint32_t from, std::uint32_t to) {
        Record* source = Resolve(from);
        Record* target = Resolve(to);
        const std::uint64_t sum = std::uint64_t(source->countLow) + target->countLow;
        if (sum > 0xFFFFFFFF) return false;
        target->countLow = std::uint32_t(sum);
        source->countLow = 0;
        return true;
    }

    std::size_t RecordCount() const { return recordCount_; }
    /// The first limit passed, kept from then on: what was past it was not counted.
    const Status& Failure() const { return failure_; }

    /// Calls `visit(ref, record)` for every record, in the order they were made.
    template <typename Visit>
    void ForEach(Visit visit) const {
        ForEachFrom(0, visit);
    }

    /// Calls `visit(ref, record)` for the records of block `block`, in order.
    template <typename Visit>
    void ForEachInBlock(std::size_t block, Visit visit) const {
        Visit1(block, visit);
    }
    std::size_t RecordsInBlock(std::size_t block) const { return blockRecords_[block]; }

    /// Calls `visit(ref, record)` for the records of blocks `firstBlock` on.
    template <typename Visit>
    void ForEachFrom(std::size_t firstBlock, Visit visit) const {
        for (std::size_t block = firstBlock; block < blocks_.size(); ++block) Visit1(block, visit);
    }
    std::size_t BlockCount() const { return blocks_.size(); }

    /// Moves the records of `later` after this store's own, their blocks as they
    /// are: a reference of `later` becomes itself plus `later`'s offset, which is
    /// BlockCount() before the call shifted into the block bits. A limit `later`
    /// passed is this store's too. `later` is left empty.
    void Append(RecordStore&& later);

    /// Empties the store, keeping its blocks for the records to come: the system
    /// zeroes each page of a new block at its first touch, which costs a store
    /// filled again, log after log, more than the records it holds.
    void Clear();

  private:
    static constexpr unsigned kOffsetBits = 20;  // a block holds 2^20 words of 8 bytes
    static constexpr std::size_t kBlockWords = std::size_t(1) << kOffsetBits;
    static constexpr std::size_t kFirstBlockWords = kBlockWords >> 7;  // 64 KiB

    static std::size_t Words(std::size_t length) { return 1 + (length + 7) / 8; }
    // The low half of the count has wrapped: the high half takes the one.
    void CarryOne(std::uint32_t ref, Record* record);
    void Fail(Fault fault) {
        if (!failure_) failure_ = std::move(fault);
    }

    template <typename Visit>
    void Visit1(std::size_t block, Visit& visit) const {
        for (std::size_t at = 0; at < blockUsed_[block];) {
            auto ref = std::uint32_t(block << kOffsetBits | at);
            Record* record = Resolve(ref);
            at += Words(record->Length());
            visit(ref, record);
        }
    }

    // Blocks come straight from the system and go back to it when released: the
    // allocator would keep a freed block for the thread that made it, so a tally
    // merged away on another thread would stay resident while the merge copies it.
    struct Unmap {
        std::size_t bytes = 0;
        void operator()(std::uint64_t* words) const;
    };
    using Block = std::unique_ptr<std::uint64_t[], Unmap>;
    static Block NewBlock(std::size_t words);
    // A kept block of at least `words` words, or a new one; `words` becomes its size.
    Block TakeBlock(std::size_t& words);
    std::vector<Block> blocks_;
    std::vector<Block> kept_;                // blocks of the records cleared, the first one last
    std::vector<std::size_t> blockUsed_;     // words in use in each block
    std::vector<std::size_t> blockRecords_;  // records in each block
    std::size_t blockSize_ = 0;              // words in the last block
    std::size_t recordCount_ = 0;
    // The high halves of counts past 2^32 - 1: a count that large is rare enough
    // that keeping its upper half beside the records costs nothing.
    std::unordered_map<std::uint32_t, std::uint32_t> highCounts_;
    Status failure_;
};

}  // namespace kestrin::detail
