#include "tally/UrlOrder.h"

#include <algorithm>
#include <cstring>

namespace kestrin::detail {
namespace {

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
// inside its array instead of following two pointers to the keys.
struct SortItem {
    std::uint64_t head, next;
    std::uint32_t ref;
    std::uint32_t keyLength;
};

class KeySorter {
  public:
    explicit KeySorter(const RecordStore& records) : records_(records) {}

    std::string_view Key(const SortItem& item) const { return records_.Resolve(item.ref)->Key(); }

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
                __builtin_prefetch(records_.Resolve(first[i + kHeaderAhead].ref));
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
    const RecordStore& records_;
};

}  // namespace

std::vector<const Record*> MergeInUrlOrder(const RecordStore& records, std::size_t count) {
    // Records are read in the order they were made, block by block, which is
    // both the fastest order to read them in and the order their URLs came in.
    const KeySorter sorter(records);
    std::vector<SortItem> items;
    items.reserve(count);
    records.ForEach([&](std::uint32_t ref, const Record* record) {
        SortItem item{0, 0, ref, std::uint32_t(record->Key().size())};
        sorter.LoadWindow(item, 0);
        items.push_back(item);
    });
    sorter.Sort(items.data(), items.data() + items.size(), 0);

    // Byte forms that decode to the same text are one URL, shown as first seen.
    std::vector<const Record*> order;
    order.reserve(items.size());
    for (std::size_t i = 0; i < items.size();) {
        std::size_t end = i + 1;
        std::uint32_t shown = items[i].ref;
        while (end < items.size() && records.Resolve(items[i].ref)->keyLength != Record::kPlain &&
               sorter.Key(items[end]) == sorter.Key(items[i])) {
            shown = std::min(shown, items[end].ref);
            ++end;
        }
        Record* entry = records.Resolve(shown);
        for (std::size_t other = i; other < end; ++other) {
            if (items[other].ref == shown) continue;
            entry->count += records.Resolve(items[other].ref)->count;
            records.Resolve(items[other].ref)->count = 0;
        }
        order.push_back(entry);
        i = end;
    }
    return order;
}

}  // namespace kestrin::detail
