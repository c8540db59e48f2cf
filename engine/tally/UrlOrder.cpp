#include "tally/UrlOrder.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <string>
#include <thread>

#include "tally/LargeArray.h"
#include "tally/Threads.h"
#include "text/CodePage.h"

namespace kestrin::detail {
namespace {

constexpr std::size_t kWindow = 15;  // key bytes a sort item carries
constexpr std::size_t kWindowedDepth = 256;
constexpr std::ptrdiff_t kFewItems = 4;

// The sort key of a URL, byte by byte: its UTF-16 code units, each written as
// UTF-8 would write that value, so that bytewise order is code unit order. A
// plain URL is its own key; any other is decoded as it is read, never stored,
// since most of the table never needs its key past the first few bytes.
class KeyReader {
  public:
    KeyReader(const CodePage& page, const Record& record)
        : page_(page), url_(record.Url()), plain_(record.Plain()) {}

    // The next key byte, or -1 at the end of the key.
    int Next() {
        if (pendingAt_ < pendingSize_) return pending_[pendingAt_++];
        if (at_ >= url_.size()) return -1;
        // Most of a URL is plain bytes, even in one that is not plain as a whole.
        if (plain_ || page_.IsPlain(std::uint8_t(url_[at_]))) return std::uint8_t(url_[at_++]);
        DecodeChar();
        return pending_[pendingAt_++];
    }
    void Skip(std::size_t count) {
        if (plain_) {
            at_ = std::min(url_.size(), at_ + count);
            return;
        }
        while (count-- > 0 && Next() >= 0) {
        }
    }

  private:
    void DecodeChar() {
        const std::size_t length = page_.CharLength(url_, at_);
        char16_t units[2];
        const std::size_t count = page_.DecodeChar(url_, at_, length, units);
        at_ += length;
        pendingAt_ = pendingSize_ = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const char16_t unit = units[i];
            if (unit < 0x80) {
                pending_[pendingSize_++] = std::uint8_t(unit);
            } else if (unit < 0x800) {
                pending_[pendingSize_++] = std::uint8_t(0xC0 | unit >> 6);
                pending_[pendingSize_++] = std::uint8_t(0x80 | (unit & 0x3F));
            } else {
                pending_[pendingSize_++] = std::uint8_t(0xE0 | unit >> 12);
                pending_[pendingSize_++] = std::uint8_t(0x80 | ((unit >> 6) & 0x3F));
                pending_[pendingSize_++] = std::uint8_t(0x80 | (unit & 0x3F));
            }
        }
    }

    const CodePage& page_;
    std::string_view url_;
    bool plain_;
    std::size_t at_ = 0;
    std::uint8_t pending_[6];
    std::size_t pendingAt_ = 0, pendingSize_ = 0;
};

// Three-way comparison of two keys from `depth` on.
int CompareKeys(const CodePage& page, const Record& a, const Record& b, std::size_t depth) {
    if (a.Plain() && b.Plain()) {
        const int order = a.Url()
                              .substr(std::min<std::size_t>(depth, a.Length()))
                              .compare(b.Url().substr(std::min<std::size_t>(depth, b.Length())));
        return order;
    }
    KeyReader x(page, a), y(page, b);
    x.Skip(depth);
    y.Skip(depth);
    for (;;) {
        const int p = x.Next(), q = y.Next();
        if (p != q) return p < q ? -1 : 1;
        if (p < 0) return 0;
    }
}

// Fifteen key bytes from some depth on, as two numbers, and where the key ends
// (0 to 15 bytes into the window, or 16 when it goes on past it) in the low byte
// of the second, so that the sort compares inside its array instead of following
// a reference to the record. A key that ends inside a window is a prefix of the
// longer ones with the same bytes there, and comes first. Twenty bytes, packed:
// a table of tens of millions of URLs is sorted in little more than its records.
struct __attribute__((packed)) SortItem {
    std::uint64_t head;
    std::uint64_t next;
    std::uint32_t ref;
};
static_assert(sizeof(SortItem) == 20);

constexpr unsigned kGoesOn = kWindow + 1;

// A type rather than a function, so that the sorts inline it.
struct {
    bool operator()(const SortItem& a, const SortItem& b) const {
        const std::uint64_t ah = a.head, bh = b.head;
        return ah != bh ? ah < bh : a.next < b.next;
    }
} constexpr WindowLess;

// Byte `digit` (0 to 15) of an item's window, in the order WindowLess reads them.
std::uint8_t WindowByte(const SortItem& item, unsigned digit) {
    const std::uint64_t word = digit < 8 ? item.head : item.next;
    return std::uint8_t(word >> (56 - 8 * (digit % 8)));
}

// Below this many items a sort is not worth a thread, nor a cut: it is over in
// a millisecond or two (a thread starts in a tenth of one), so that a stop is seen
// between such sorts. A log of a hundred megabytes has tens of thousands of URLs,
// and their sort is a good part of its run's time once the reading is shared out.
constexpr std::ptrdiff_t kSortPiece = 1 << 15;

// Below this many items, comparing them costs less than a pass of counting.
constexpr std::ptrdiff_t kFewToCount = 64;

// Sorts items on their windows a byte at a time, in place (an American flag
// sort), starting at the first byte they do not all share: a big table's windows
// mostly begin alike, and a comparison sort compares those bytes again at every
// level of its recursion, where this reads each item a few times in all. A sort of
// a piece or more looks for a stop first: nothing more is sorted once the run is
// to stop.
void SortByWindowBytes(SortItem* first, SortItem* last, const Phase* phase) {
    if (last - first < kFewToCount) {
        std::sort(first, last, WindowLess);
        return;
    }
    if (last - first >= kSortPiece && phase != nullptr && phase->Check()) return;
    std::uint64_t headsDiffer = 0, nextsDiffer = 0;
    for (const SortItem* item = first; item != last; ++item) {
        headsDiffer |= item->head ^ first->head;
        nextsDiffer |= item->next ^ first->next;
    }
    if ((headsDiffer | nextsDiffer) == 0) return;  // all alike
    const unsigned digit = headsDiffer != 0 ? unsigned(__builtin_clzll(headsDiffer)) / 8
                                            : 8 + unsigned(__builtin_clzll(nextsDiffer)) / 8;
    std::size_t counts[256] = {};
    for (const SortItem* item = first; item != last; ++item) ++counts[WindowByte(*item, digit)];
    SortItem* next[256];
    SortItem* end[256];
    SortItem* at = first;
    for (unsigned byte = 0; byte < 256; ++byte) {
        next[byte] = at;
        at += counts[byte];
        end[byte] = at;
    }
    // Each item goes to its byte's place, and the one there on to its own, until
    // the cycle comes back to the place it began at.
    for (unsigned byte = 0; byte < 256; ++byte) {
        while (next[byte] != end[byte]) {
            SortItem item = *next[byte];
            for (unsigned to = WindowByte(item, digit); to != byte; to = WindowByte(item, digit))
                std::swap(item, *next[to]++);
            *next[byte]++ = item;
        }
    }
    for (unsigned byte = 0; byte < 256; ++byte) {
        if (counts[byte] > 1) SortByWindowBytes(end[byte] - counts[byte], end[byte], phase);
    }
}

// Sorts items on their windows on `threads` threads: the median of a sample cuts
// them in two, each half sorted the same way on half the threads, so that the
// cutting too is shared out, whatever the number of threads. A thread that cannot
// be started leaves its half to this one; one thread sorts its items whole (a cut
// would only cost it a pass over them). Nothing more is sorted once the run is to
// stop.
void SortOnThreads(SortItem* first, SortItem* last, unsigned threads, const Phase* phase) {
    const std::ptrdiff_t count = last - first;
    if (phase != nullptr && phase->Check()) return;
    if (count < kSortPiece || threads < 2) {
        SortByWindowBytes(first, last, phase);
        return;
    }
    std::vector<SortItem> sample;
    for (std::ptrdiff_t i = 0; i < count; i += count / 1024) sample.push_back(first[i]);
    const auto median = sample.begin() + std::ptrdiff_t(sample.size() / 2);
    std::nth_element(sample.begin(), median, sample.end(), WindowLess);
    const SortItem splitter = *median;
    SortItem* middle = std::partition(
        first, last, [&](const SortItem& item) { return WindowLess(item, splitter); });
    if (middle == first) {
        // A good part of the items are the median's equals: nothing to cut at.
        SortByWindowBytes(first, last, phase);
        return;
    }
    const unsigned below = threads / 2;
    std::vector<std::jthread> helper = StartThreads(1, [middle, last, threads, below, phase] {
        SortOnThreads(middle, last, threads - below, phase);
    });
    SortOnThreads(first, middle, below, phase);
    if (helper.empty()) SortOnThreads(middle, last, threads - below, phase);
}

class KeySorter {
  public:
    KeySorter(const RecordStore& records, const CodePage& page, Phase* phase)
        : records_(records), page_(page), phase_(phase) {}

    bool StopRequested() const { return phase_ != nullptr && phase_->Check(); }

    const Record& RecordOf(const SortItem& item) const { return *records_.Resolve(item.ref); }

    void LoadWindow(SortItem& item, std::size_t depth) const {
        const Record& record = RecordOf(item);
        unsigned char bytes[kWindow + 1] = {};
        std::size_t valid = 0;
        if (record.Plain()) {
            const std::string_view url = record.Url();
            if (depth < url.size()) {
                valid = std::min(kWindow + 1, url.size() - depth);
                std::memcpy(bytes, url.data() + depth, valid);
            }
        } else {
            KeyReader key(page_, record);
            key.Skip(depth);
            for (int byte; valid < kWindow + 1 && (byte = key.Next()) >= 0;)
                bytes[valid++] = std::uint8_t(byte);
        }
        std::uint64_t head = 0, next = 0;
        for (std::size_t i = 0; i < 8; ++i) head = head << 8 | bytes[i];
        for (std::size_t i = 8; i < kWindow; ++i) next = next << 8 | bytes[i];
        item.head = head;
        item.next = next << 8 | valid;  // valid is kGoesOn when the key goes on
    }

    // Past the first window the records are read in sort order, not in the order
    // they lie in memory: fetch each record ahead.
    void LoadWindows(SortItem* first, SortItem* last, std::size_t depth) const {
        constexpr std::ptrdiff_t kAhead = 12;
        const std::ptrdiff_t count = last - first;
        for (std::ptrdiff_t i = 0; i < count; ++i) {
            if (i % kSortPiece == 0 && StopRequested()) return;
            if (i + kAhead < count) {
                const char* ahead = reinterpret_cast<const char*>(&RecordOf(first[i + kAhead]));
                __builtin_prefetch(ahead);
                __builtin_prefetch(ahead + 8 + depth);
            }
            LoadWindow(first[i], depth);
        }
    }

    // Sorts items whose keys agree before `depth`, a window at a time: a run of
    // equal windows is sorted again on the next window. A key that ends inside an
    // equal window is a prefix of the longer ones there and comes first.
    void Sort(SortItem* first, SortItem* last, std::size_t depth) {
        if (StopRequested()) return;
        if (last - first < 2) {
            Done(std::size_t(last - first));
            return;
        }
        if (depth >= kWindowedDepth || (depth > 0 && last - first <= kFewItems)) {
            // Keys this alike are rare, and a few items are sorted sooner by their
            // whole keys than by a window at a time (a form two merged tallies
            // hold is two items equal to their ends): compare the rest of them whole.
            std::sort(first, last, [this, depth](const SortItem& a, const SortItem& b) {
                return CompareKeys(page_, RecordOf(a), RecordOf(b), depth) < 0;
            });
            Done(std::size_t(last - first));
            return;
        }
        SortWindows(first, last, depth,
                    [&](SortItem* run, SortItem* end) { Sort(run, end, depth + kWindow); });
    }

    // Sort on `threads` threads: runs of equal windows are independent, so each is
    // a task of its own. A thread sorts a small run whole; a big one it sorts on
    // one window, handing its runs back as tasks, so that no thread is left
    // alone with most of the table.
    void SortShared(SortItem* first, SortItem* last, unsigned threads) {
        struct Task {
            SortItem* first;
            SortItem* last;
            std::size_t depth;
        };
        std::mutex mutex;
        std::condition_variable changed;
        std::vector<Task> tasks;
        unsigned busy = 0;
        std::exception_ptr failure;
        const std::ptrdiff_t big =
            std::max<std::ptrdiff_t>((last - first) / (16 * std::ptrdiff_t(threads)), 2);
        // The first window sorts the whole table, so its sort is shared too.
        SortWindows(
            first, last, 0,
            [&](SortItem* run, SortItem* end) {
                tasks.push_back({run, end, kWindow});
            },
            threads);
        const auto work = [&] {
            std::unique_lock<std::mutex> lock(mutex);
            for (;;) {
                changed.wait(lock, [&] { return !tasks.empty() || busy == 0 || failure; });
                if (tasks.empty() || failure || StopRequested()) {
                    tasks.clear();
                    changed.notify_all();
                    return;
                }
                const Task task = tasks.back();
                tasks.pop_back();
                ++busy;
                lock.unlock();
                std::vector<Task> runs;
                std::exception_ptr failed;
                try {
                    if (task.last - task.first > big && task.depth < kWindowedDepth) {
                        SortWindows(task.first, task.last, task.depth,
                                    [&](SortItem* run, SortItem* end) {
                                        runs.push_back({run, end, task.depth + kWindow});
                                    });
                    } else {
                        Sort(task.first, task.last, task.depth);
                    }
                } catch (...) {
                    failed = std::current_exception();
                }
                lock.lock();
                --busy;
                if (failed && !failure) failure = failed;
                tasks.insert(tasks.end(), runs.begin(), runs.end());
                changed.notify_all();
            }
        };
        {
            std::vector<std::jthread> helpers = StartThreads(threads - 1, work);
            work();
        }
        if (failure) std::rethrow_exception(failure);
    }

  private:
    // Sorts the items on their windows at `depth` (loaded here past the first) and
    // calls `goOn(run, end)` for each run of more than one equal window that does
    // not end its keys; the rest are in place.
    template <typename GoOn>
    void SortWindows(SortItem* first, SortItem* last, std::size_t depth, GoOn goOn,
                     unsigned threads = 1) {
        if (depth > 0) LoadWindows(first, last, depth);
        // Most URLs begin alike: a range of equal windows needs no sorting.
        const std::uint64_t firstHead = first->head, firstNext = first->next;
        const bool alike = std::all_of(first, last, [&](const SortItem& item) {
            return item.head == firstHead && item.next == firstNext;
        });
        if (!alike) SortOnThreads(first, last, threads, phase_);
        // Most runs are of one item: those in place are counted once at the end, as
        // each count is an exchange on memory the threads share.
        std::size_t placed = 0;
        for (SortItem* run = first; run != last;) {
            SortItem* end = run + 1;
            while (end != last && !WindowLess(*run, *end)) ++end;
            // Keys that end inside an equal window are equal: nothing is left to sort.
            if (end - run > 1 && (run->next & 0xFF) == kGoesOn) {
                goOn(run, end);
            } else {
                placed += std::size_t(end - run);
            }
            run = end;
        }
        if (placed > 0) Done(placed);
    }

    // Counts items in place, on whichever thread placed them. The phase is told
    // once a piece of items, not at every count.
    void Done(std::size_t items) {
        const std::uint64_t placed = placed_.fetch_add(items, std::memory_order_relaxed) + items;
        if (phase_ != nullptr && (placed - items) / kTellEvery != placed / kTellEvery)
            (void)phase_->Reach(placed);
    }
    static constexpr std::uint64_t kTellEvery = 1 << 14;

    const RecordStore& records_;
    const CodePage& page_;
    Phase* phase_;
    std::atomic<std::uint64_t> placed_ = 0;
};

// The sort's items in the order their records were made, their first windows
// loaded: records read block by block, the fastest order to read them in, the
// blocks shared out among the threads, so that the items' fresh memory is faulted
// in on every thread too.
LargeArray<SortItem> LoadItems(const RecordStore& records, const KeySorter& sorter,
                               unsigned threads) {
    LargeArray<SortItem> items(records.RecordCount());
    std::vector<std::size_t> firstItem(records.BlockCount() + 1, 0);
    for (std::size_t block = 0; block < records.BlockCount(); ++block)
        firstItem[block + 1] = firstItem[block] + records.RecordsInBlock(block);
    ShareOut(records.BlockCount(), threads, [&](std::size_t block) {
        if (sorter.StopRequested()) return;  // a block is a few milliseconds' work
        SortItem* item = items.data() + firstItem[block];
        records.ForEachInBlock(block, [&](std::uint32_t ref, const Record*) {
            *item = SortItem{0, 0, ref};
            sorter.LoadWindow(*item++, 0);
        });
    });
    return items;
}

// A count moved from one form to another after the threads are done: its sum
// passes 32 bits, and only one thread may change the store's high halves.
struct CountMove {
    std::uint32_t from;
    std::uint32_t to;
};

// The references of items [first, last) in their order, written to `out`, byte
// forms that decode to the same text merged into one URL, shown as first seen:
// forms that are not their own key and decode alike, and the same form held twice
// by tallies merged (of which the first holds the count when the second was
// counted after the merge). The references written; with `later`, the counts that
// cannot be moved at once are left there.
std::size_t MergeAlikeIn(RecordStore& records, const CodePage& page, const KeySorter& sorter,
                         const LargeArray<SortItem>& items, std::size_t first, std::size_t last,
                         std::uint32_t* out, std::vector<CountMove>* later) {
    const auto sameWindows = [&](std::size_t a, std::size_t b) {
        return b < last && items[b].head == items[a].head && items[b].next == items[a].next;
    };
    // Only equal windows are worth reading the records for, which lie at random:
    // a pair of them is fetched ahead.
    constexpr std::size_t kAhead = 16;
    std::size_t written = 0;
    // Forms held twice make this pass a good part of a big table's sort: it looks
    // for a stop as it goes, and leaves the order unfinished when it sees one.
    for (std::size_t i = first, nextLook = first; i < last;) {
        if (i >= nextLook) {
            if (sorter.StopRequested()) return written;
            nextLook = i + std::size_t(kSortPiece);
        }
        if (sameWindows(i + kAhead, i + kAhead + 1)) {
            __builtin_prefetch(&sorter.RecordOf(items[i + kAhead]));
            __builtin_prefetch(&sorter.RecordOf(items[i + kAhead + 1]));
        }
        std::size_t end = i + 1;
        std::uint32_t shown = items[i].ref;
        if (sameWindows(i, end)) {
            const Record& record = sorter.RecordOf(items[i]);
            while (sameWindows(i, end) && record.Plain() == sorter.RecordOf(items[end]).Plain() &&
                   CompareKeys(page, sorter.RecordOf(items[end]), record, 0) == 0) {
                shown = std::min(shown, items[end].ref);
                ++end;
            }
        }
        for (std::size_t other = i; other < end; ++other) {
            const std::uint32_t from = items[other].ref;
            if (from == shown) continue;
            if (later == nullptr)
                records.AddCount(shown, records.TakeCount(from));
            else if (!records.MoveLowCount(from, shown))
                later->push_back({from, shown});
        }
        out[written++] = shown;
        i = end;
    }
    return written;
}

// The references in the items' order, alike forms merged (see MergeAlikeIn). A
// big table's are merged on `threads` threads, each a part of the items that ends
// between unequal windows, so that no form's equals fall in two parts; each part
// writes where its items begin, and the parts are then moved together. A table
// where a count has passed 32 bits (reports merged) is merged on one thread.
LargeArray<std::uint32_t> MergeAlikeForms(RecordStore& records, const CodePage& page,
                                          const KeySorter& sorter,
                                          const LargeArray<SortItem>& items, unsigned threads) {
    const std::size_t count = items.size();
    LargeArray<std::uint32_t> order(count);
    if (threads < 2 || std::ptrdiff_t(count) < kSortPiece || records.HasHighCounts()) {
        order.resize(MergeAlikeIn(records, page, sorter, items, 0, count, order.data(), nullptr));
        return order;
    }
    std::vector<std::size_t> bounds{0};
    for (std::size_t part = 1; part < threads; ++part) {
        std::size_t bound = std::max(bounds.back(), count * part / threads);
        while (bound > 0 && bound < count && items[bound].head == items[bound - 1].head &&
               items[bound].next == items[bound - 1].next)
            ++bound;
        bounds.push_back(bound);
    }
    bounds.push_back(count);
    std::vector<std::size_t> written(threads, 0);
    std::vector<std::vector<CountMove>> later(threads);
    ShareOut(threads, threads, [&](std::size_t part) {
        written[part] = MergeAlikeIn(records, page, sorter, items, bounds[part], bounds[part + 1],
                                     order.data() + bounds[part], &later[part]);
    });
    std::size_t size = written[0];
    for (std::size_t part = 1; part < threads; ++part) {
        std::memmove(order.data() + size, order.data() + bounds[part],
                     written[part] * sizeof(std::uint32_t));
        size += written[part];
    }
    order.resize(size);
    for (const std::vector<CountMove>& moves : later) {
        for (const CountMove& move : moves) records.AddCount(move.to, records.TakeCount(move.from));
    }
    return order;
}

}  // namespace

LargeArray<std::uint32_t> MergeInUrlOrder(RecordStore& records, const CodePage& page, Phase* phase,
                                          unsigned threads) {
    KeySorter sorter(records, page, phase);
    // A small table is sorted before a thread would have started.
    const bool shared = threads > 1 && std::ptrdiff_t(records.RecordCount()) >= kSortPiece;
    LargeArray<SortItem> items = LoadItems(records, sorter, shared ? threads : 1);
    if (shared)
        sorter.SortShared(items.data(), items.data() + items.size(), threads);
    else
        sorter.Sort(items.data(), items.data() + items.size(), 0);
    if (sorter.StopRequested()) return {};
    if (phase != nullptr) (void)phase->Reach(items.size());  // the last piece told
    return MergeAlikeForms(records, page, sorter, items, shared ? threads : 1);
}

}  // namespace kestrin::detail
