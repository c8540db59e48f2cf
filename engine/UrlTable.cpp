#include "UrlTable.h"

#include <algorithm>
#include <cstring>

namespace kestrin {
namespace {

// Keys of text that is not plain start with this byte, which no plain key holds, and then carry the
// UTF-16 code units big-endian, so bytewise order is code unit order.
constexpr char kUnitsMark = char(0xFF);
constexpr std::size_t kBlockSize = 1 << 20;

constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
constexpr std::uint64_t kHighs = 0x8080808080808080ULL;

// True when no byte of the word is below 0x20, 0x7F or above.
bool IsPrintableWord(std::uint64_t word) {
    std::uint64_t below = (word - 0x20 * kOnes) & ~word & kHighs;
    std::uint64_t del = word ^ (0x7F * kOnes);
    std::uint64_t isDel = (del - kOnes) & ~del & kHighs;
    return ((word & kHighs) | below | isDel) == 0;
}

// Plain text keys as its own bytes; checked eight bytes at a time where it can be.
bool IsPlain(std::string_view bytes, const CodePage& page) {
    std::size_t i = 0;
    if (page.PrintableIsPlain()) {
        for (; i + 8 <= bytes.size(); i += 8) {
            std::uint64_t word;
            std::memcpy(&word, bytes.data() + i, 8);
            if (!IsPrintableWord(word)) break;
        }
    }
    for (; i < bytes.size(); ++i) {
        if (!page.IsPlain(std::uint8_t(bytes[i]))) return false;
    }
    return true;
}

// A multiply-and-shift hash in two independent lanes of eight bytes: URLs are
// short, and the table looks one up for every line of the log.
std::size_t HashKey(std::string_view key) {
    constexpr std::uint64_t kMix = 0xBF58476D1CE4E5B9ULL;
    std::uint64_t even = key.size() * 0x9E3779B97F4A7C15ULL, odd = 0x94D049BB133111EBULL;
    std::size_t i = 0;
    for (; i + 16 <= key.size(); i += 16) {
        std::uint64_t first, second;
        std::memcpy(&first, key.data() + i, 8);
        std::memcpy(&second, key.data() + i + 8, 8);
        even = (even ^ first) * kMix;
        odd = (odd ^ second) * kMix;
        even ^= even >> 31;
        odd ^= odd >> 29;
    }
    std::uint64_t tail[2] = {0, 0};
    if (i < key.size()) std::memcpy(tail, key.data() + i, key.size() - i);
    even = (even ^ tail[0]) * kMix;
    odd = (odd ^ tail[1]) * kMix;
    std::uint64_t hash = (even ^ (even >> 31)) + (odd ^ (odd >> 29)) * 0x9E3779B97F4A7C15ULL;
    hash ^= hash >> 32;
    return std::size_t(hash);
}

char16_t UnitAt(std::string_view key, std::size_t index) {
    if (key.empty() || key[0] != kUnitsMark) return char16_t(std::uint8_t(key[index]));
    return char16_t(std::uint8_t(key[1 + 2 * index]) << 8 | std::uint8_t(key[2 + 2 * index]));
}

std::size_t UnitCount(std::string_view key) {
    return !key.empty() && key[0] == kUnitsMark ? (key.size() - 1) / 2 : key.size();
}

bool KeyLess(std::string_view a, std::string_view b) {
    bool unitsA = !a.empty() && a[0] == kUnitsMark;
    bool unitsB = !b.empty() && b[0] == kUnitsMark;
    if (unitsA == unitsB) return a < b;
    std::size_t countA = UnitCount(a), countB = UnitCount(b);
    for (std::size_t i = 0; i < countA && i < countB; ++i) {
        char16_t ua = UnitAt(a, i), ub = UnitAt(b, i);
        if (ua != ub) return ua < ub;
    }
    return countA < countB;
}

}  // namespace

void UrlTable::Reset(const CodePage& codePage) {
    page_ = &codePage;
    entries_.clear();
    order_.clear();
    slots_.assign(1024, 0);
    blocks_.clear();
    blockUsed_ = blockSize_ = 0;
}

std::string_view UrlTable::MakeKey(std::string_view url) {
    if (IsPlain(url, *page_)) return url;
    scratchUnits_.clear();
    page_->Decode(url, scratchUnits_);
    scratchKey_.assign(1, kUnitsMark);
    for (char16_t unit : scratchUnits_) {
        scratchKey_.push_back(char(unit >> 8));
        scratchKey_.push_back(char(unit & 0xFF));
    }
    return scratchKey_;
}

std::string_view UrlTable::Keep(std::string_view bytes) {
    // An empty URL (a keyword found right at "http://") may come before any block.
    if (bytes.empty()) return {};
    if (bytes.size() > blockSize_ - blockUsed_) {
        blockSize_ = std::max(kBlockSize, bytes.size());
        blocks_.push_back(std::make_unique<char[]>(blockSize_));
        blockUsed_ = 0;
    }
    char* place = blocks_.back().get() + blockUsed_;
    std::memcpy(place, bytes.data(), bytes.size());
    blockUsed_ += bytes.size();
    return {place, bytes.size()};
}

void UrlTable::Grow() {
    std::vector<std::size_t> slots(slots_.size() * 2, 0);
    const std::size_t mask = slots.size() - 1;
    for (std::size_t index = 0; index < entries_.size(); ++index) {
        std::size_t slot = entries_[index].hash & mask;
        while (slots[slot] != 0) slot = (slot + 1) & mask;
        slots[slot] = index + 1;
    }
    slots_.swap(slots);
}

std::int64_t LookupUrl(UrlTable& table, std::string_view url) {
    std::string_view key = table.MakeKey(url);
    std::size_t hash = HashKey(key);
    const std::size_t mask = table.slots_.size() - 1;
    std::size_t slot = hash & mask;
    for (; table.slots_[slot] != 0; slot = (slot + 1) & mask) {
        UrlTable::Stored& stored = table.entries_[table.slots_[slot] - 1];
        if (stored.hash == hash && stored.key == key) {
            ++stored.entry.Count;
            return -1;
        }
    }
    table.pendingKey_ = key;
    table.pendingHash_ = hash;
    return std::int64_t(slot);
}

void InsertUrl(UrlTable& table, std::int64_t slot, std::string_view url) {
    std::string_view bytes = table.Keep(url);
    std::string_view key =
        table.pendingKey_.data() == url.data() ? bytes : table.Keep(table.pendingKey_);
    table.entries_.push_back({{bytes, 1}, key, table.pendingHash_});
    table.slots_[std::size_t(slot)] = table.entries_.size();
    table.pendingKey_ = {};
    if (table.entries_.size() * 2 > table.slots_.size()) table.Grow();
}

void SortByUrl(UrlTable& table) {
    table.order_.resize(table.entries_.size());
    for (std::size_t i = 0; i < table.order_.size(); ++i) table.order_[i] = i;
    std::sort(table.order_.begin(), table.order_.end(), [&table](std::size_t a, std::size_t b) {
        return KeyLess(table.entries_[a].key, table.entries_[b].key);
    });
}

void RankByCount(UrlTable& table) {
    // A tournament tree over the listing positions: each inner node holds the
    // position of the leftmost largest count below it. Taking the root and
    // swapping it into place is one pass of the selection sort, in O(log n).
    const std::size_t n = table.order_.size();
    std::size_t leaves = 1;
    while (leaves < n) leaves *= 2;
    std::vector<std::uint64_t> count(leaves, 0);  // 0: a position already placed
    for (std::size_t pos = 0; pos < n; ++pos)
        count[pos] = table.entries_[table.order_[pos]].entry.Count;
    std::vector<std::size_t> best(2 * leaves);
    for (std::size_t pos = 0; pos < leaves; ++pos) best[leaves + pos] = pos;
    auto pick = [&](std::size_t node) {
        std::size_t left = best[2 * node], right = best[2 * node + 1];
        best[node] = count[left] >= count[right] ? left : right;
    };
    for (std::size_t node = leaves - 1; node >= 1; --node) pick(node);
    auto update = [&](std::size_t pos) {
        for (std::size_t node = (leaves + pos) / 2; node >= 1; node /= 2) pick(node);
    };
    for (std::size_t i = 0; i < n; ++i) {
        std::size_t m = best[1];
        std::swap(table.order_[i], table.order_[m]);
        count[m] = count[i];
        count[i] = 0;
        update(m);
        update(i);
    }
}

}  // namespace kestrin
