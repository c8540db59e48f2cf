#include "tally/RecordStore.h"

#include <algorithm>
#include <cstring>

#include "os/LargeMemory.h"

namespace kestrin::detail {
namespace {

constexpr std::size_t kMaxLength = 0x7FFFFFFF;
constexpr std::size_t kMaxBlocks = 4095;  // so that a reference + 1 fits 32 bits

Fault CountOverflow() {
    return Fault{.detail = "the counts of a URL add up past 2^64 - 1",
                 .kind = FaultKind::Malformed};
}

}  // namespace

RecordStore::Block RecordStore::NewBlock(std::size_t words) {
    // Pages are only touched, and so only resident, as records fill them.
    const std::size_t bytes = words * sizeof(std::uint64_t);
    return Block(static_cast<std::uint64_t*>(os::MapLarge(bytes)), Unmap{bytes});
}

RecordStore::Block RecordStore::TakeBlock(std::size_t& words) {
    while (!kept_.empty()) {
        Block block = std::move(kept_.back());
        kept_.pop_back();
        const std::size_t size = block.get_deleter().bytes / sizeof(std::uint64_t);
        if (size >= words) {
            words = size;
            return block;
        }
    }
    return NewBlock(words);
}

void RecordStore::Clear() {
    // A new store, given this one's blocks, the first one last. A block made for one
    // URL longer than a whole block goes: a reference reaches no further into a
    // block than a whole one's words.
    std::vector<Block> kept = std::move(kept_);
    for (auto block = blocks_.rbegin(); block != blocks_.rend(); ++block) {
        if (block->get_deleter().bytes <= kBlockWords * sizeof(std::uint64_t))
            kept.push_back(std::move(*block));
    }
    *this = RecordStore();
    kept_ = std::move(kept);
}

void RecordStore::Unmap::operator()(std::uint64_t* words) const {
    os::UnmapLarge(words, bytes);
}

std::optional<std::uint32_t> RecordStore::Add(std::string_view url, bool plain,
                                              std::uint64_t count) {
    if (url.size() > kMaxLength) {
        Fail({.detail = "URL too long", .kind = FaultKind::Limit});
        return std::nullopt;
    }
    const std::size_t words = Words(url.size());
    if (blocks_.empty() || words > blockSize_ - blockUsed_.back()) {
        if (blocks_.size() == kMaxBlocks) {
            Fail({.detail = "too many distinct URLs", .kind = FaultKind::Limit});
            return std::nullopt;
        }
        // The first block is small: a short log makes a few records, and a big
        // block's first touch would fault in and zero a whole large page for them.
        // The next ones are whole, each page of them faulted in as records fill it.
        const std::size_t wanted = blocks_.empty() ? kFirstBlockWords : kBlockWords;
        blockSize_ = std::max(wanted, words);
        blocks_.push_back(TakeBlock(blockSize_));
        blockUsed_.push_back(0);
        blockRecords_.push_back(0);
    }
    auto ref = std::uint32_t((blocks_.size() - 1) << kOffsetBits | blockUsed_.back());
    blockUsed_.back() += words;
    ++blockRecords_.back();
    ++recordCount_;

    Record* record = Resolve(ref);
    record->countLow = 0;
    record->lengthAndFlag = std::uint32_t(url.size()) | (plain ? Record::kPlainFlag : 0);
    if (!url.empty()) std::memcpy(record->Bytes(), url.data(), url.size());
    AddCount(ref, count);
    return ref;
}

void RecordStore::Append(RecordStore&& later) {
    if (later.failure_) Fail(std::move(*later.failure_));
    if (blocks_.size() + later.blocks_.size() > kMaxBlocks) {
        Fail({.detail = "too many distinct URLs", .kind = FaultKind::Limit});
    } else {
        const auto offset = std::uint32_t(blocks_.size() << kOffsetBits);
        for (const auto& [ref, high] : later.highCounts_) highCounts_[ref + offset] = high;
        for (Block& block : later.blocks_) blocks_.push_back(std::move(block));
        blockUsed_.insert(blockUsed_.end(), later.blockUsed_.begin(), later.blockUsed_.end());
        blockRecords_.insert(blockRecords_.end(), later.blockRecords_.begin(),
                             later.blockRecords_.end());
        recordCount_ += later.recordCount_;
        // The next records go on in the last block, which is now `later`'s.
        if (!later.blocks_.empty()) blockSize_ = later.blockSize_;
    }
    later = RecordStore();
}

void RecordStore::AddCount(std::uint32_t ref, std::uint64_t count) {
    if (count > ~std::uint64_t(0) - Count(ref)) return Fail(CountOverflow());
    Record* record = Resolve(ref);
    const std::uint64_t low = std::uint64_t(record->countLow) + (count & 0xFFFFFFFF);
    record->countLow = std::uint32_t(low);
    const std::uint64_t high = (count >> 32) + (low >> 32);
    if (high != 0) highCounts_[ref] += std::uint32_t(high);
}

void RecordStore::CarryOne(std::uint32_t ref, Record* record) {
    std::uint32_t& high = highCounts_[ref];
    if (high == ~std::uint32_t(0)) {
        record->countLow = ~std::uint32_t(0);
        return Fail(CountOverflow());
    }
    ++high;
}

std::uint64_t RecordStore::Count(std::uint32_t ref) const {
    const std::uint64_t low = Resolve(ref)->countLow;
    if (highCounts_.empty()) return low;
    auto high = highCounts_.find(ref);
    return high == highCounts_.end() ? low : std::uint64_t(high->second) << 32 | low;
}

std::uint64_t RecordStore::TakeCount(std::uint32_t ref) {
    const std::uint64_t count = Count(ref);
    Resolve(ref)->countLow = 0;
    if (!highCounts_.empty()) highCounts_.erase(ref);
    return count;
}

}  // namespace kestrin::detail
