#include "input/LineCutter.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "text/CodePage.h"

namespace kestrin {
namespace {

constexpr std::size_t kNone = std::string_view::npos;
constexpr auto kWindowBytes = std::int64_t(LineCutter::kWindow);

// A URL that outgrows the buffer grows it by a quarter at a time, and by at most
// this much, so that the buffer never holds much more than the URL.
constexpr std::size_t kMaxGrowth = 32 << 20;

// Zeroed bytes after the buffer's end, which the masks of its last word read.
constexpr std::size_t kSlack = 192;
// Words of masks made at once: a few lines' worth.
constexpr std::size_t kMaskedAtOnce = 32;

}  // namespace

LineCutter::LineCutter(ByteSource& source, const CuttingRule& rule, std::size_t bufferSize)
    : source_(source),
      rule_(rule),
      bufferSize_(std::max(bufferSize, 2 * kWindow)),
      byMasks_(rule.CutsByMasks()) {
    Resize(bufferSize_);
}

LineCutter::~LineCutter() {
    std::free(buffer_);
}

bool LineCutter::Cut() {
    found_ = 0;
    for (bool refilled = false; found_ < kBatch;) {
        switch (phase_ == Phase::kNone ? CutLines() : CutLongLine()) {
            case Step::kFull:
                return true;
            case Step::kEnd:
                return false;
            case Step::kOn:
                break;
            case Step::kBytes:
                // A refill moves the bytes, those of the URLs handed out too; and one
                // refill a call keeps each call to about a buffer's worth of work.
                if (refilled || found_ > 0) return true;
                Refill();
                refilled = true;
                break;
        }
    }
    return true;
}

LineCutter::Step LineCutter::CutLines() {
    CutWindowedLines();
    if (found_ == kBatch) return Step::kFull;
    const std::int64_t left = Available() - next_;
    if (left < kWindowBytes && !atEnd_) return Step::kBytes;
    if (left == 0) return Step::kEnd;
    return CutLineWithoutBreak();
}

void LineCutter::CutWindowedLines() {
    std::int64_t next = next_;
    std::uint64_t lines = 0;
    const std::int64_t end = Available();
    while (found_ < kBatch) {
        const std::int64_t left = end - next;
        if (left < kWindowBytes && !(atEnd_ && left > 0)) break;
        const auto window = std::size_t(std::min(left, kWindowBytes));
        // A window already known to hold no break is cut otherwise.
        if (breakFrom_ <= next && breakTo_ >= next + std::int64_t(window)) break;
        const UrlBeforeBreak cut =
            byMasks_ ? CutMasked(next, window)
                     : rule_.CutBeforeBreak(Bytes(next, next + std::int64_t(window)));
        if (cut.lineBreak == window) break;
        if (cut.url) urls_[found_++] = *cut.url;
        // A CR LF is one terminator only when the window holds the LF.
        const char* lineBreak = At(next) + cut.lineBreak;
        const bool crLf = *lineBreak == '\r' && cut.lineBreak + 1 < window && lineBreak[1] == '\n';
        next += std::int64_t(cut.lineBreak) + (crLf ? 2 : 1);
        ++lines;
    }
    next_ = next;
    lines_ += lines;
}

UrlBeforeBreak LineCutter::CutMasked(std::int64_t start, std::size_t window) {
    using scan::ByteMasks;
    const auto from = std::size_t(start - base_);
    const std::size_t limit = from + window;
    if (masked_ * 64 < limit) {
        // Never past the words that hold the buffer's bytes, whose masks read the
        // zeroed slack after them.
        const std::size_t upTo =
            std::min(std::max((limit + 63) / 64, masked_ + kMaskedAtOnce), (size_ + 63) / 64);
        // Grown as the bytes are masked, so that a short log makes few masks.
        if (masks_.size() < upTo) masks_.resize(std::max(upTo, 2 * masks_.size()));
        searches_.maskBytes(buffer_ + masked_ * 64, upTo - masked_, rule_.KeywordSet(),
                            masks_.data() + masked_);
        masked_ = upTo;
    }
    const std::size_t lineBreak = NextMarked(&ByteMasks::breaks, from, limit);
    if (lineBreak == limit) return {window, std::nullopt};
    const std::string_view line = Bytes(start, start + std::int64_t(window));
    for (std::size_t colon = NextMarked(&ByteMasks::separators, from, lineBreak); colon < lineBreak;
         colon = NextMarked(&ByteMasks::separators, colon + 1, lineBreak)) {
        const std::size_t urlStart = rule_.SchemeStart(line, colon - from);
        if (urlStart == kNone) continue;
        // The "//" after the colon are neither a break nor the keyword.
        const std::size_t keyword = NextMarked(&ByteMasks::keywords, colon + 3, lineBreak);
        // A keyword byte that is the trail byte of a pair: the rule walks the line.
        if (keyword < lineBreak && !rule_.Page().IsBoundary(line, urlStart, keyword - from))
            return rule_.CutBeforeBreak(line);
        return {lineBreak - from, line.substr(urlStart, keyword - from - urlStart)};
    }
    return {lineBreak - from, std::nullopt};
}

std::size_t LineCutter::NextMarked(std::uint64_t scan::ByteMasks::*field, std::size_t from,
                                   std::size_t limit) {
    std::size_t word = from / 64;
    std::uint64_t marked = masks_[word].*field & (~std::uint64_t(0) << (from % 64));
    for (;;) {
        if (marked != 0) return std::min(limit, word * 64 + std::size_t(__builtin_ctzll(marked)));
        if (++word * 64 >= limit) return limit;
        marked = masks_[word].*field;
    }
}

LineCutter::Step LineCutter::CutLineWithoutBreak() {
    const std::int64_t start = next_;
    const auto window = std::size_t(std::min(Available() - start, kWindowBytes));
    // Searched on past the window, so that the lines after this one know their
    // windows hold no break without looking again.
    FirstBreak(start);
    if (*At(start) == '\0') {
        SkipEmptyNuls();
        return Step::kOn;
    }
    const auto* nul = static_cast<const char*>(std::memchr(At(start), '\0', window));
    if (nul != nullptr || window < kWindow) {
        // A NUL ends the line, or the log's end does.
        const std::int64_t end = nul != nullptr ? start + (nul - At(start)) : Available();
        if (std::optional<std::string_view> url = ExtractUrl(Bytes(start, end), rule_))
            urls_[found_++] = *url;
        next_ = nul != nullptr ? end + 1 : end;
        ++lines_;
        return Step::kOn;
    }
    // A full window of none of the three: the line runs on to its CR or LF.
    phase_ = Phase::kSeeking;
    scan_ = known_ = start;
    return Step::kOn;
}

void LineCutter::SkipEmptyNuls() {
    // A NUL at p is an empty line of its own exactly when no CR or LF lies in the
    // window [p, p + 1024): so every NUL of the run before the point 1023 bytes
    // short of the next line break is one, and all of them go at once.
    const std::int64_t start = next_, end = Available();
    const std::int64_t lineBreak = FirstBreak(start);
    const std::int64_t limit = lineBreak < end ? lineBreak - kWindowBytes + 1
                               : atEnd_        ? end  // no break in any window to the log's end
                                               : end - kWindowBytes + 1;
    const std::size_t nuls = searches_.findNotNul(At(start), std::size_t(limit - start));
    next_ += std::int64_t(nuls);
    lines_ += nuls;  // each NUL passed over was an empty line
}

LineCutter::Step LineCutter::CutLongLine() {
    if (phase_ == Phase::kEnding) {
        if (scan_ + 1 == Available() && !atEnd_) return Step::kBytes;
        EndLine(scan_);
        return Step::kOn;
    }
    const std::int64_t lineBreak = FirstBreak(scan_);
    if (phase_ == Phase::kSeeking) return SeekUrl(lineBreak);
    if (phase_ == Phase::kInUrl) return CutUrl(lineBreak);
    if (lineBreak < Available() || atEnd_) {
        EndLine(lineBreak);
        return Step::kOn;
    }
    scan_ = lineBreak;
    return Step::kBytes;
}

LineCutter::Step LineCutter::SeekUrl(std::int64_t lineBreak) {
    const std::string_view bytes = Bytes(known_, lineBreak);
    if (const std::size_t start = rule_.FindUrlStart(bytes, std::size_t(scan_ - known_));
        start != kNone) {
        phase_ = Phase::kInUrl;
        url_ = scan_ = known_ + std::int64_t(start);
        return CutUrl(lineBreak);
    }
    if (lineBreak < Available() || atEnd_) {
        EndLine(lineBreak);
        return Step::kOn;
    }
    // A "://" may run past the buffer's end, and a scheme starts at most five bytes
    // before its "://": the search goes on with those bytes kept.
    scan_ = std::max(scan_, lineBreak - 2);
    const std::int64_t from = std::max(known_, scan_ - 5);
    known_ += std::int64_t(rule_.Page().CharStartFrom(bytes, 0, std::size_t(from - known_)));
    return Step::kBytes;
}

LineCutter::Step LineCutter::CutUrl(std::int64_t lineBreak) {
    const std::string_view bytes = Bytes(url_, lineBreak);
    const auto from = std::size_t(scan_ - url_);
    const std::size_t keyword = rule_.FindKeyword(bytes, from);
    // Checked as the URL grows, before the buffer grows for more of it.
    if ((keyword != kNone ? std::int64_t(keyword) : lineBreak - url_) > kMaxUrl) {
        failure_ = Fault{.detail = "a URL of 2 GiB or more", .kind = FaultKind::Limit};
        atEnd_ = true;
        return Step::kEnd;
    }
    if (keyword != kNone) {
        HandOut(url_, url_ + std::int64_t(keyword));
        phase_ = Phase::kSkipping;
        scan_ = url_ + std::int64_t(keyword);
        return Step::kOn;
    }
    if (lineBreak == Available() && !atEnd_) {
        // The URL runs on past the buffer. Its last character may not be read
        // whole: the search goes on from a character's start before it.
        const std::size_t tail = bytes.size() > 4 ? bytes.size() - 4 : 0;
        scan_ = url_ + std::int64_t(rule_.Page().CharStartFrom(bytes, from, std::max(from, tail)));
        return Step::kBytes;
    }
    HandOut(url_, lineBreak);
    EndLine(lineBreak);
    return Step::kOn;
}

void LineCutter::EndLine(std::int64_t lineBreak) {
    const std::int64_t end = Available();
    if (lineBreak + 1 == end && *At(lineBreak) == '\r' && !atEnd_) {
        // Its LF, if it has one, is not read yet.
        phase_ = Phase::kEnding;
        scan_ = lineBreak;
        return;
    }
    // A line that runs on past its window takes the LF after its CR wherever it lies.
    const bool crLf = lineBreak + 1 < end && *At(lineBreak) == '\r' && At(lineBreak)[1] == '\n';
    next_ = lineBreak == end ? end : lineBreak + (crLf ? 2 : 1);
    phase_ = Phase::kNone;
    ++lines_;
}

void LineCutter::HandOut(std::int64_t from, std::int64_t to) {
    urls_[found_++] = Bytes(from, to);
}

std::int64_t LineCutter::KeepFrom() const {
    switch (phase_) {
        case Phase::kSeeking:
            return known_;
        case Phase::kInUrl:
            return url_;
        case Phase::kSkipping:
        case Phase::kEnding:
            return scan_;
        case Phase::kNone:
            break;
    }
    return next_;
}

void LineCutter::Refill() {
    const std::int64_t keep = KeepFrom();
    const auto kept = std::size_t(Available() - keep);
    std::memmove(buffer_, At(keep), kept);
    base_ = keep;
    size_ = kept;
    // A URL that outgrows the buffer grows it; once it is cut, the buffer goes back
    // to its size.
    if (capacity_ - kept < bufferSize_ / 2)
        Resize(std::max(kept + bufferSize_, capacity_ + std::min(capacity_ / 4, kMaxGrowth)));
    else if (capacity_ > 2 * bufferSize_ && kept <= bufferSize_ / 2)
        Resize(bufferSize_);
    const std::size_t wanted = std::min(capacity_, kept + bufferSize_);
    while (size_ < wanted) {
        const Result<std::size_t> got = source_.Read(buffer_ + size_, wanted - size_);
        if (!got || *got == 0) {
            if (!got) failure_ = got.Failure();
            atEnd_ = true;
            break;
        }
        size_ += *got;
        fileOffset_ += std::int64_t(*got);
    }
    std::memset(buffer_ + size_, 0, kSlack);
    masked_ = 0;
}

void LineCutter::Resize(std::size_t capacity) {
    void* resized = std::realloc(buffer_, capacity + kSlack);
    if (resized == nullptr) throw std::bad_alloc();
    buffer_ = static_cast<char*>(resized);
    capacity_ = capacity;
}

std::int64_t LineCutter::FirstBreak(std::int64_t from) {
    if (from < breakFrom_ || from > breakTo_) {
        breakFrom_ = breakTo_ = from;
        breakFound_ = false;
    }
    if (!breakFound_ && breakTo_ < Available()) {
        breakTo_ +=
            std::int64_t(searches_.findBreak(At(breakTo_), std::size_t(Available() - breakTo_)));
        breakFound_ = breakTo_ < Available();
    }
    return breakTo_;
}

}  // namespace kestrin
