#include "tally/UrlTally.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "tally/UrlOrder.h"
#include "text/CodePage.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kestrin {
namespace {

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
std::uint32_t HashTag(std::string_view key) {
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
    // The last bytes, fewer than sixteen, gathered by loads that overlap rather than
    // a byte at a time, never reading past the key: byte k of them goes to bits
    // 8 (k % 8) of word k / 8.
    const char* at = key.data() + i;
    const std::size_t left = key.size() - i;
    std::uint64_t low = 0, high = 0;
    if (left >= 8) {
        std::memcpy(&low, at, 8);
        if (left > 8) {
            std::memcpy(&high, at + left - 8, 8);
            high >>= 8 * (16 - left);
        }
    } else if (left >= 4) {
        std::uint32_t first, last;
        std::memcpy(&first, at, 4);
        std::memcpy(&last, at + left - 4, 4);
        low = first | std::uint64_t(last) << (8 * (left - 4));
    } else if (left > 0) {
        low = std::uint64_t(std::uint8_t(at[0])) |
              std::uint64_t(std::uint8_t(at[left / 2])) << (8 * (left / 2)) |
              std::uint64_t(std::uint8_t(at[left - 1])) << (8 * (left - 1));
    }
    even = (even ^ low) * kMix;
    odd = (odd ^ high) * kMix;
    std::uint64_t hash = (even ^ (even >> 31)) + (odd ^ (odd >> 29)) * 0x9E3779B97F4A7C15ULL;
    return std::uint32_t(hash ^ (hash >> 32));
}

template <typename Word>
Word Load(std::string_view bytes, std::size_t at) {
    Word word;
    std::memcpy(&word, bytes.data() + at, sizeof word);
    return word;
}

// The same bytes, compared inline, sixteen at a time where the processor has SSE2,
// the last block overlapping the one before: the C runtime's memcmp costs a call
// for every line, and some runtimes (msvcrt under wine) compare a byte at a time.
bool SameBytes(std::string_view a, std::string_view b) {
    const std::size_t size = a.size();
    if (size != b.size()) return false;
#if defined(__SSE2__)
    if (size >= 16) {
        const auto same = [&](std::size_t at) {
            const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a.data() + at));
            const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b.data() + at));
            return _mm_movemask_epi8(_mm_cmpeq_epi8(x, y)) == 0xFFFF;
        };
        for (std::size_t at = 0; at + 16 < size; at += 16) {
            if (!same(at)) return false;
        }
        return same(size - 16);
    }
#endif
    if (size >= 8) {
        for (std::size_t at = 0; at + 8 < size; at += 8) {
            if (Load<std::uint64_t>(a, at) != Load<std::uint64_t>(b, at)) return false;
        }
        return Load<std::uint64_t>(a, size - 8) == Load<std::uint64_t>(b, size - 8);
    }
    if (size >= 4) {
        return Load<std::uint32_t>(a, 0) == Load<std::uint32_t>(b, 0) &&
               Load<std::uint32_t>(a, size - 4) == Load<std::uint32_t>(b, size - 4);
    }
    for (std::size_t at = 0; at < size; ++at) {
        if (a[at] != b[at]) return false;
    }
    return true;
}

}  // namespace

UrlTally::UrlTally(const CodePage& codePage) : page_(&codePage) {}

void UrlTally::Count(std::string_view url) {
    Add(url, 1);
}

void UrlTally::Count(std::string_view url, std::uint64_t times) {
    if (times != 0) Add(url, times);
}

void UrlTally::Add(std::string_view url, std::uint64_t times) {
    if (unindexedFrom_ != kAllIndexed) IndexMerged();
    if (url.size() > kLongUrl) {
        CountBatch();
        const std::uint32_t tag = HashTag(url);
        if (std::optional<Slot> slot = LookupUrl(url, tag, times)) InsertUrl(*slot, url, times);
        return;
    }
    batchBytes_.append(url);
    batchEnds_.push_back(batchBytes_.size());
    batchTimes_.push_back(times);
    if (batchEnds_.size() == kBatch) CountBatch();
}

void UrlTally::Count(std::span<const std::string_view> urls) {
    CountBatch();
    if (unindexedFrom_ != kAllIndexed) IndexMerged();
    for (std::size_t at = 0; at < urls.size(); at += kBatch)
        CountAtOnce(urls.data() + at, std::min(kBatch, urls.size() - at), nullptr);
}

void UrlTally::CountBatch() {
    std::string_view urls[kBatch];
    const std::size_t count = batchEnds_.size();
    for (std::size_t i = 0, start = 0; i < count; start = batchEnds_[i++])
        urls[i] = std::string_view(batchBytes_).substr(start, batchEnds_[i] - start);
    CountAtOnce(urls, count, batchTimes_.data());
    batchBytes_.clear();
    batchEnds_.clear();
    batchTimes_.clear();
}

void UrlTally::CountAtOnce(const std::string_view* urls, std::size_t count,
                           const std::uint64_t* times) {
    // A table of many URLs lives mostly outside the cache, and each lookup waits
    // for its slot and then its record. Fetching both ahead for the whole batch
    // lets those waits overlap; the lookups that follow are the ordinary ones.
    std::uint32_t tags[kBatch];
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = 0; i < count; ++i) {
        tags[i] = HashTag(urls[i]);
        __builtin_prefetch(&slots_[tags[i] & mask]);
    }
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t slot = slots_[tags[i] & mask];
        if (slot != 0 && std::uint32_t(slot >> 32) == tags[i]) {
            const char* record =
                reinterpret_cast<const char*>(records_.Resolve(std::uint32_t(slot) - 1));
            __builtin_prefetch(record);
            __builtin_prefetch(record + 64);
        }
    }
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t many = times == nullptr ? 1 : times[i];
        if (std::optional<Slot> slot = LookupUrl(urls[i], tags[i], many))
            InsertUrl(*slot, urls[i], many);
    }
}

std::optional<UrlTally::Slot> UrlTally::LookupUrl(std::string_view url, std::uint32_t tag,
                                                  std::uint64_t times) {
    const std::size_t mask = slots_.size() - 1;
    std::size_t at = tag & mask;
    for (; slots_[at] != 0; at = (at + 1) & mask) {
        const std::uint64_t slot = slots_[at];
        if (std::uint32_t(slot >> 32) != tag) continue;
        const std::uint32_t ref = std::uint32_t(slot) - 1;
        detail::Record* record = records_.Resolve(ref);
        if (SameBytes(record->Url(), url)) {
            // A merged report adds its counts; a line adds one.
            if (times == 1)
                records_.CountOne(ref, record);
            else
                records_.AddCount(ref, times);
            return std::nullopt;
        }
    }
    return Slot{at, tag};
}

void UrlTally::InsertUrl(Slot slot, std::string_view url, std::uint64_t count) {
    const std::optional<std::uint32_t> ref = records_.Add(url, IsPlain(url, *page_), count);
    if (ref) PlaceInSlot(slot, *ref);  // past a limit the store's failure tells
}

void UrlTally::PlaceInSlot(Slot slot, std::uint32_t ref) {
    slots_[slot.index] = std::uint64_t(slot.tag) << 32 | (ref + 1);
    if (records_.RecordCount() * 4 > slots_.size() * 3) Grow(slots_.size() * 2);
}

void UrlTally::Grow(std::size_t size) {
    // A slot's tag is the low half of its hash, so slots move without their records.
    // The system hands the slots over zeroed, all of them resident.
    decltype(slots_) slots(size);
    const std::size_t mask = slots.size() - 1;
    for (std::uint64_t slot : slots_) {
        if (slot == 0) continue;
        std::size_t at = std::size_t(slot >> 32) & mask;
        while (slots[at] != 0) at = (at + 1) & mask;
        slots[at] = slot;
    }
    slots_.swap(slots);
}

Status UrlTally::Merge(UrlTally&& later, Phase::Piece* merging) {
    CountBatch();
    later.CountBatch();
    // The later part's forms come after every form of this one, in their own
    // order. A few are counted here one by one, as a log's lines are, and the
    // later tally keeps its memory for the next part. Many are
    // moved over as their records lie, with no copy and no lookup, which spares
    // a big table one wait for memory a form on one thread: a form both parts
    // hold is then held twice, which the sort, on every thread, merges as it
    // merges forms that decode alike. Only counting on needs them in the slots,
    // and only then are they put there.
    const std::size_t forms = later.records_.RecordCount();
    Status laterFailure = later.records_.Failure();
    if (forms < kFewForms) {
        // Looked up straight from the later tally's records, which outlive the
        // lookups: no form is copied into a batch first.
        if (forms > 0 && unindexedFrom_ != kAllIndexed) IndexMerged();
        std::string_view urls[kBatch];
        std::uint64_t times[kBatch];
        std::size_t batched = 0;
        later.records_.ForEach([&](std::uint32_t ref, const detail::Record* record) {
            urls[batched] = record->Url();
            times[batched] = later.records_.Count(ref);
            if (++batched == kBatch) {
                CountAtOnce(urls, batched, times);
                batched = 0;
            }
        });
        if (batched > 0) CountAtOnce(urls, batched, times);
    } else {
        decltype(slots_)().swap(later.slots_);
        if (unindexedFrom_ == kAllIndexed) unindexedFrom_ = records_.BlockCount();
        records_.Append(std::move(later.records_));
    }
    later.Clear();
    if (merging != nullptr) {
        if (Status stop = merging->Reach(forms)) return stop;
    }
    return laterFailure ? laterFailure : Failure();
}

void UrlTally::Clear() {
    // A new tally, given this one's memory: its slots zeroed, its blocks to fill again.
    decltype(slots_) slots = std::move(slots_);
    detail::RecordStore records = std::move(records_);
    *this = UrlTally(*page_);
    records.Clear();
    records_ = std::move(records);
    if (slots.size() > slots_.size()) {
        std::fill(slots.begin(), slots.end(), 0);
        slots_.swap(slots);
    }
}

void UrlTally::IndexMerged() {
    // A form held twice keeps the first record: the count of the second moves to
    // it, and the sort merges the empty second into it.
    records_.ForEachFrom(unindexedFrom_, [&](std::uint32_t ref, detail::Record* record) {
        const std::uint64_t count = records_.TakeCount(ref);
        const std::uint32_t tag = HashTag(record->Url());
        if (std::optional<Slot> slot = LookupUrl(record->Url(), tag, count)) {
            records_.AddCount(ref, count);
            PlaceInSlot(*slot, ref);
        }
    });
    unindexedFrom_ = kAllIndexed;
}

Result<UrlTable> UrlTally::SortByUrl(Phase* sorting, unsigned threads) && {
    CountBatch();
    if (Status failure = Failure()) return *failure;
    // The slots are not needed for the listing: give their memory to the sort.
    decltype(slots_)().swap(slots_);
    detail::LargeArray<std::uint32_t> order =
        detail::MergeInUrlOrder(records_, *page_, sorting, threads);
    if (sorting != nullptr) {
        if (Status stop = sorting->Check()) return *stop;
    }
    if (const Status& failure = records_.Failure()) return *failure;
    return UrlTable(std::move(records_), std::move(order));
}

}  // namespace kestrin
