#include "UrlTable.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace kestrin {

struct UrlTable::Record {
    std::uint64_t count;
    // kPlain for a plain form, its own entry; kMerged | key length for the entry
    // of forms that decode alike; otherwise the index of the form's merged entry.
    std::uint32_t link;
    std::uint32_t length;  // the URL's bytes, which follow the record (then the key)

    const char* Bytes() const { return reinterpret_cast<const char*>(this + 1); }
    char* Bytes() { return reinterpret_cast<char*>(this + 1); }
};

namespace {

using Record = UrlTable::Record;

constexpr std::uint32_t kPlain = 0xFFFFFFFF;
constexpr std::uint32_t kMerged = 0x80000000;
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
    if (record->link == kPlain) return {record->Bytes(), record->length};
    return {record->Bytes() + record->length, record->link & ~kMerged};
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
    if (from < key.size())
        std::memcpy(bytes, key.data() + from, std::min<std::size_t>(8, key.size() - from));
    std::uint64_t value = 0;
    for (unsigned char byte : bytes) value = value << 8 | byte;
    return value;
}

// Sixteen key bytes from some depth on, as numbers, so that the sort compares
// inside its array instead of following two pointers to the keys.
constexpr std::size_t kWindowedDepth = 256;

struct SortItem {
    std::uint64_t head, next;
    const Record* record;
    std::size_t keyLength;
};

void LoadWindow(SortItem& item, std::size_t depth) {
    std::string_view key = KeyOf(item.record);
    item.head = BigEndianAt(key, depth);
    item.next = BigEndianAt(key, depth + 8);
}

// Sorts items whose keys agree before `depth`, sixteen bytes at a time: a run
// of equal windows is sorted again on the next sixteen bytes. A key that ends
// inside an equal window is a prefix of the longer ones there and comes first.
void SortFromDepth(SortItem* first, SortItem* last, std::size_t depth) {
    if (depth >= kWindowedDepth) {
        // Keys this alike are rare: compare the rest of them whole.
        std::sort(first, last, [depth](const SortItem& a, const SortItem& b) {
            return KeyOf(a.record).substr(depth) < KeyOf(b.record).substr(depth);
        });
        return;
    }
    for (SortItem* item = first; item != last; ++item) LoadWindow(*item, depth);
    const std::size_t windowEnd = depth + 16;
    auto shown = [windowEnd](const SortItem& item) { return std::min(item.keyLength, windowEnd); };
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
        if (end - run > 1) SortFromDepth(run, end, windowEnd);
        run = end;
    }
}

}  // namespace

void UrlTable::Reset(const CodePage& codePage) {
    page_ = &codePage;
    entryCount_ = formCount_ = 0;
    slots_.assign(1024, 0);
    blocks_.clear();
    blockUsed_ = blockSize_ = 0;
    mergedEntries_.clear();
    mergedIndex_.clear();
    order_.clear();
}

UrlEntry UrlTable::operator[](std::size_t index) const {
    const Record* record = order_[index];
    return {{record->Bytes(), record->length}, record->count};
}

std::uint32_t UrlTable::NewRecordRef(std::size_t bytes) {
    const std::size_t words = 2 + (bytes + 7) / 8;
    if (words > blockSize_ - blockUsed_) {
        if (blocks_.size() == kMaxBlocks) throw std::length_error("too many distinct URLs");
        blockSize_ = std::max(kBlockWords, words);
        blocks_.push_back(std::make_unique<std::uint64_t[]>(blockSize_));
        blockUsed_ = 0;
    }
    auto ref = std::uint32_t((blocks_.size() - 1) << kOffsetBits | blockUsed_);
    blockUsed_ += words;
    return ref;
}

Record* UrlTable::Resolve(std::uint32_t ref) const {
    return reinterpret_cast<Record*>(blocks_[ref >> kOffsetBits].get() + (ref & (kBlockWords - 1)));
}

std::uint32_t UrlTable::LinkToEntry(std::string_view url) {
    scratchUnits_.clear();
    page_->Decode(url, scratchUnits_);
    AppendKeyUnits(scratchUnits_, scratchKey_);
    auto found = mergedIndex_.find(scratchKey_);
    if (found != mergedIndex_.end()) return found->second;

    Record* entry = Resolve(NewRecordRef(url.size() + scratchKey_.size()));
    entry->count = 0;
    entry->length = std::uint32_t(url.size());
    entry->link = kMerged | std::uint32_t(scratchKey_.size());
    std::memcpy(entry->Bytes(), url.data(), url.size());
    std::memcpy(entry->Bytes() + url.size(), scratchKey_.data(), scratchKey_.size());
    auto index = std::uint32_t(mergedEntries_.size());
    mergedEntries_.push_back(entry);
    mergedIndex_.emplace(KeyOf(entry), index);
    ++entryCount_;
    return index;
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

std::int64_t LookupUrl(UrlTable& table, std::string_view url) {
    return table.Lookup(url, std::uint32_t(HashKey(url)));
}

std::int64_t UrlTable::Lookup(std::string_view url, std::uint32_t tag) {
    UrlTable& table = *this;
    const std::size_t mask = table.slots_.size() - 1;
    std::size_t at = tag & mask;
    for (; table.slots_[at] != 0; at = (at + 1) & mask) {
        const std::uint64_t slot = table.slots_[at];
        if (std::uint32_t(slot >> 32) != tag) continue;
        Record* record = table.Resolve(std::uint32_t(slot) - 1);
        if (record->length == url.size() &&
            (url.empty() || std::memcmp(record->Bytes(), url.data(), url.size()) == 0)) {
            ++record->count;
            return -1;
        }
    }
    table.pendingTag_ = tag;
    return std::int64_t(at);
}

void InsertUrl(UrlTable& table, std::int64_t slot, std::string_view url) {
    if (url.size() >= kMerged) throw std::length_error("URL too long");
    const std::uint32_t ref = table.NewRecordRef(url.size());
    Record* record = table.Resolve(ref);
    record->count = 1;
    record->length = std::uint32_t(url.size());
    if (!url.empty()) std::memcpy(record->Bytes(), url.data(), url.size());
    if (IsPlain(url, *table.page_)) {
        record->link = kPlain;
        ++table.entryCount_;
    } else {
        record->link = table.LinkToEntry(url);
    }
    table.slots_[std::size_t(slot)] = std::uint64_t(table.pendingTag_) << 32 | (ref + 1);
    if (++table.formCount_ * 2 > table.slots_.size()) table.Grow();
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
    for (Record* entry : table.mergedEntries_) entry->count = 0;
    std::vector<SortItem> items;
    items.reserve(table.entryCount_);
    auto add = [&items](const Record* record) {
        items.push_back({0, 0, record, KeyOf(record).size()});
    };
    for (std::uint64_t slot : table.slots_) {
        if (slot == 0) continue;
        const Record* form = table.Resolve(std::uint32_t(slot) - 1);
        if (form->link == kPlain) {
            add(form);
        } else {
            table.mergedEntries_[form->link]->count += form->count;
        }
    }
    for (const Record* entry : table.mergedEntries_) add(entry);
    SortFromDepth(items.data(), items.data() + items.size(), 0);
    table.order_.resize(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) table.order_[i] = items[i].record;
}

void RankByCount(UrlTable& table) {
    // A tournament tree over the listing positions: each inner node holds the
    // position of the leftmost largest count below it. Taking the root and
    // swapping it into place is one pass of the selection sort, in O(log n).
    const std::size_t n = table.order_.size();
    std::size_t leaves = 1;
    while (leaves < n) leaves *= 2;
    std::vector<std::uint64_t> count(leaves, 0);  // 0: a position already placed
    for (std::size_t pos = 0; pos < n; ++pos) count[pos] = table.order_[pos]->count;
    std::vector<std::uint32_t> best(2 * leaves);
    for (std::size_t pos = 0; pos < leaves; ++pos) best[leaves + pos] = std::uint32_t(pos);
    auto pick = [&](std::size_t node) {
        std::uint32_t left = best[2 * node], right = best[2 * node + 1];
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
