#include "UrlTable.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace kestrin {

struct UrlTable::Record {
    std::uint64_t count;
    // kPlain for plain text, which is its own key; otherwise the length of the
    // key, which follows the URL's bytes.
    std::uint32_t keyLength;
    std::uint32_t length;  // the URL's bytes, which follow the record

    const char* Bytes() const { return reinterpret_cast<const char*>(this + 1); }
    char* Bytes() { return reinterpret_cast<char*>(this + 1); }
};

namespace {

using Record = UrlTable::Record;

constexpr std::uint32_t kPlain = 0xFFFFFFFF;
constexpr std::size_t kMaxLength = 0x7FFFFFFF;
constexpr unsigned kOffsetBits = 20;  // a block holds 2^20 words of 8 bytes
constexpr std::size_t kBlockWords = std::size_t(1) << kOffsetBits;
constexpr std::size_t kMaxBlocks = 4095;  // so that a reference + 1 fits 32 bits

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

// The key a record sorts and merges by. Plain text is its own key; other text is
// keyed by its UTF-16 code units, each written as UTF-8 would write that value,
// so that bytewise order is code unit order and plain text keeps its bytes.
std::string_view KeyOf(const Record* record) {
    if (record->keyLength == kPlain) return {record->Bytes(), record->length};
    return {record->Bytes() + record->length, record->keyLength};
}

std::size_t RecordWords(std::size_t bytes) {
    return 2 + (bytes + 7) / 8;
}

std::size_t RecordWords(const Record* record) {
    return RecordWords(record->length + (record->keyLength == kPlain ? 0 : record->keyLength));
}

void AppendKeyUnits(const std::u16string& units, std::string& key) {
    key.clear();
    for (char16_t unit : units) {
        if (unit < 0x80) {
            key.push_back(char(unit));
        } else if (unit < 0x800) {
            key.push_back(char(0xC0 | unit >> 6));
            key.push_back(char(0x80 | (unit & 0x3F)));
        } else {
            key.push_back(char(0xE0 | unit >> 12));
            key.push_back(char(0x80 | ((unit >> 6) & 0x3F)));
            key.push_back(char(0x80 | (unit & 0x3F)));
        }
    }
}

std::uint64_t BigEndianAt(std::string_view key, std::size_t from) {
    unsigned char bytes[8] = {};
    if (from < key.size()) {
        std::memcpy(bytes, key.data() + from, std::min<std::size_t>(8, key.size() - from));
    }
    std::uint64_t value = 0;
    for (unsigned char byte : bytes) value = value << 8 | byte;
    return value;
}

constexpr std::size_t kWindowedDepth = 256;

// Sixteen key bytes from some depth on, as numbers, so that the sort compares
// inside its array instead of following two pointers to the keys. References
// grow in the order records were made, so the lowest is the form seen first.
struct SortItem {
    std::uint64_t head, next;
    std::uint32_t ref;
    std::uint32_t keyLength;
};

class KeySorter {
  public:
    explicit KeySorter(const UrlTable& table) : table_(table) {}

    std::string_view Key(const SortItem& item) const { return KeyOf(table_.Resolve(item.ref)); }

    void LoadWindow(SortItem& item, std::size_t depth) const {
        std::string_view key = Key(item);
        item.head = BigEndianAt(key, depth);
        item.next = BigEndianAt(key, depth + 8);
    }

    // Past the first window the records are read in sort order, not in the order
    // they lie in memory: fetch each record's header, then its key bytes, ahead.
    void LoadWindows(SortItem* first, SortItem* last, std::size_t depth) const {
        constexpr std::ptrdiff_t kHeaderAhead = 16, kKeyAhead = 8;
        const std::ptrdiff_t count = last - first;
        for (std::ptrdiff_t i = 0; i < count; ++i) {
            if (i + kHeaderAhead < count)
                __builtin_prefetch(table_.Resolve(first[i + kHeaderAhead].ref));
            if (i + kKeyAhead < count) {
                std::string_view key = Key(first[i + kKeyAhead]);
                if (depth < key.size()) __builtin_prefetch(key.data() + depth);
            }
            LoadWindow(first[i], depth);
        }
    }

    // Sorts items whose keys agree before `depth`, sixteen bytes at a time: a run
    // of equal windows is sorted again on the next sixteen bytes. A key that ends
    // inside an equal window is a prefix of the longer ones there and comes first.
    void Sort(SortItem* first, SortItem* last, std::size_t depth) const {
        if (depth >= kWindowedDepth) {
            // Keys this alike are rare: compare the rest of them whole.
            std::sort(first, last, [this, depth](const SortItem& a, const SortItem& b) {
                return Key(a).substr(depth) < Key(b).substr(depth);
            });
            return;
        }
        if (depth > 0) LoadWindows(first, last, depth);
        const std::size_t windowEnd = depth + 16;
        auto shown = [windowEnd](const SortItem& item) {
            return std::min<std::size_t>(item.keyLength, windowEnd);
        };
        std::sort(first, last, [&shown](const SortItem& a, const SortItem& b) {
            if (a.head != b.head) return a.head < b.head;
            if (a.next != b.next) return a.next < b.next;
            return shown(a) < shown(b);
        });
        for (SortItem* run = first; run != last;) {
            SortItem* end = run + 1;
            while (end != last && end->head == run->head && end->next == run->next &&
                   shown(*end) == shown(*run)) {
                ++end;
            }
            // Keys that end inside an equal window are equal: nothing is left to sort.
            if (end - run > 1 && shown(*run) == windowEnd) Sort(run, end, windowEnd);
            run = end;
        }
    }

  private:
    const UrlTable& table_;
};

}  // namespace

void UrlTable::Reset(const CodePage& codePage) {
    page_ = &codePage;
    entryCount_ = 0;
    slots_.assign(1024, 0);
    blocks_.clear();
    blockUsed_.clear();
    order_.clear();
}

UrlEntry UrlTable::operator[](std::size_t index) const {
    // The listing is read in order, its records are not: fetch a few ahead.
    if (index + 8 < order_.size()) {
        const char* ahead = reinterpret_cast<const char*>(order_[index + 8]);
        __builtin_prefetch(ahead);
        __builtin_prefetch(ahead + 64);
    }
    const Record* record = order_[index];
    return {{record->Bytes(), record->length}, record->count};
}

std::uint32_t UrlTable::NewRecordRef(std::size_t bytes) {
    const std::size_t words = RecordWords(bytes);
    if (blocks_.empty() || words > blockSize_ - blockUsed_.back()) {
        if (blocks_.size() == kMaxBlocks) throw std::length_error("too many distinct URLs");
        blockSize_ = std::max(kBlockWords, words);
        blocks_.push_back(std::make_unique<std::uint64_t[]>(blockSize_));
        blockUsed_.push_back(0);
    }
    auto ref = std::uint32_t((blocks_.size() - 1) << kOffsetBits | blockUsed_.back());
    blockUsed_.back() += words;
    return ref;
}

UrlTable::Record* UrlTable::Resolve(std::uint32_t ref) const {
    return reinterpret_cast<Record*>(blocks_[ref >> kOffsetBits].get() + (ref & (kBlockWords - 1)));
}

void UrlTable::Grow() {
    // A slot's tag is the low half of its hash, so slots move without their records.
    std::vector<std::uint64_t> slots(slots_.size() * 2, 0);
    const std::size_t mask = slots.size() - 1;
    for (std::uint64_t slot : slots_) {
        if (slot == 0) continue;
        std::size_t at = std::size_t(slot >> 32) & mask;
        while (slots[at] != 0) at = (at + 1) & mask;
        slots[at] = slot;
    }
    slots_.swap(slots);
}

template <typename Visit>
void UrlTable::ForEachRecord(Visit visit) {
    for (std::size_t block = 0; block < blocks_.size(); ++block) {
        for (std::size_t at = 0; at < blockUsed_[block];) {
            auto ref = std::uint32_t(block << kOffsetBits | at);
            Record* record = Resolve(ref);
            at += RecordWords(record);
            visit(ref, record);
        }
    }
}

std::int64_t LookupUrl(UrlTable& table, std::string_view url) {
    return table.Lookup(url, std::uint32_t(HashKey(url)));
}

std::int64_t UrlTable::Lookup(std::string_view url, std::uint32_t tag) {
    if (slots_.empty()) throw std::logic_error("URL table counted on after SortByUrl");
    const std::size_t mask = slots_.size() - 1;
    std::size_t at = tag & mask;
    for (; slots_[at] != 0; at = (at + 1) & mask) {
        const std::uint64_t slot = slots_[at];
        if (std::uint32_t(slot >> 32) != tag) continue;
        Record* record = Resolve(std::uint32_t(slot) - 1);
        if (record->length == url.size() &&
            (url.empty() || std::memcmp(record->Bytes(), url.data(), url.size()) == 0)) {
            ++record->count;
            return -1;
        }
    }
    pendingTag_ = tag;
    return std::int64_t(at);
}

void InsertUrl(UrlTable& table, std::int64_t slot, std::string_view url) {
    if (url.size() > kMaxLength) throw std::length_error("URL too long");
    std::string_view key;
    if (!IsPlain(url, *table.page_)) {
        table.scratchUnits_.clear();
        table.page_->Decode(url, table.scratchUnits_);
        AppendKeyUnits(table.scratchUnits_, table.scratchKey_);
        key = table.scratchKey_;
        if (key.size() > kMaxLength) throw std::length_error("URL too long");
    }
    const std::uint32_t ref = table.NewRecordRef(url.size() + key.size());
    UrlTable::Record* record = table.Resolve(ref);
    record->count = 1;
    record->length = std::uint32_t(url.size());
    record->keyLength = key.data() == nullptr ? kPlain : std::uint32_t(key.size());
    if (!url.empty()) std::memcpy(record->Bytes(), url.data(), url.size());
    if (!key.empty()) std::memcpy(record->Bytes() + url.size(), key.data(), key.size());
    table.slots_[std::size_t(slot)] = std::uint64_t(table.pendingTag_) << 32 | (ref + 1);
    if (++table.entryCount_ * 2 > table.slots_.size()) table.Grow();
}

void CountUrls(UrlTable& table, const std::vector<std::string_view>& urls) {
    // A table of many URLs lives mostly outside the cache, and each lookup waits
    // for its slot and then its record. Fetching both ahead for the whole batch
    // lets those waits overlap; the lookups that follow are the ordinary ones.
    std::uint32_t tags[kUrlBatch];
    const std::size_t count = std::min(urls.size(), kUrlBatch);
    const std::size_t mask = table.slots_.size() - 1;
    for (std::size_t i = 0; i < count; ++i) {
        tags[i] = std::uint32_t(HashKey(urls[i]));
        __builtin_prefetch(&table.slots_[tags[i] & mask]);
    }
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t slot = table.slots_[tags[i] & mask];
        if (slot != 0 && std::uint32_t(slot >> 32) == tags[i]) {
            const char* record =
                reinterpret_cast<const char*>(table.Resolve(std::uint32_t(slot) - 1));
            __builtin_prefetch(record);
            __builtin_prefetch(record + 64);
        }
    }
    for (std::size_t i = 0; i < urls.size(); ++i) {
        const std::uint32_t tag = i < count ? tags[i] : std::uint32_t(HashKey(urls[i]));
        const std::int64_t slot = table.Lookup(urls[i], tag);
        if (slot >= 0) InsertUrl(table, slot, urls[i]);
    }
}

void SortByUrl(UrlTable& table) {
    // The slots are not needed for the listing: give their memory to the sort.
    // Counting is over until the next Reset.
    std::vector<std::uint64_t>().swap(table.slots_);

    // Records are read in the order they were made, block by block, which is
    // both the fastest order to read them in and the order their URLs came in.
    const KeySorter sorter(table);
    std::vector<SortItem> items;
    items.reserve(table.entryCount_);
    table.ForEachRecord([&](std::uint32_t ref, UrlTable::Record* record) {
        SortItem item{0, 0, ref, std::uint32_t(KeyOf(record).size())};
        sorter.LoadWindow(item, 0);
        items.push_back(item);
    });
    sorter.Sort(items.data(), items.data() + items.size(), 0);

    // Byte forms that decode to the same text are one URL, shown as first seen.
    table.order_.clear();
    for (std::size_t i = 0; i < items.size();) {
        std::size_t end = i + 1;
        std::uint32_t shown = items[i].ref;
        while (end < items.size() && table.Resolve(items[i].ref)->keyLength != kPlain &&
               sorter.Key(items[end]) == sorter.Key(items[i])) {
            shown = std::min(shown, items[end].ref);
            ++end;
        }
        UrlTable::Record* entry = table.Resolve(shown);
        for (std::size_t other = i; other < end; ++other) {
            if (items[other].ref == shown) continue;
            entry->count += table.Resolve(items[other].ref)->count;
            table.Resolve(items[other].ref)->count = 0;
        }
        table.order_.push_back(entry);
        i = end;
    }
    table.entryCount_ = table.order_.size();
}

void RankByCount(UrlTable& table) {
    // The selection sort that swaps the leftmost largest count of the rest into
    // place takes the entries of each count, highest count first, in the order
    // of the positions they hold when their count's turn comes; and it moves
    // only the entry at the front, to where the one taken stood. So sort by count
    // once, then take each count's positions in order, swapping as it would.
    const std::size_t n = table.order_.size();
    std::vector<std::pair<std::uint64_t, std::uint32_t>> byCount(n);  // count, position
    std::vector<std::uint32_t> entryAt(n), positionOf(n), positions;
    for (std::uint32_t i = 0; i < n; ++i) {
        byCount[i] = {table.order_[i]->count, i};
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
    std::vector<const UrlTable::Record*> ranked(n);
    for (std::size_t i = 0; i < n; ++i) ranked[i] = table.order_[entryAt[i]];
    table.order_.swap(ranked);
}

}  // namespace kestrin
