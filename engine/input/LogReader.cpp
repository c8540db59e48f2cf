#include "input/LogReader.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

#include "input/ByteSource.h"
#include "input/LineBreaks.h"
#include "text/ByteScan.h"

namespace kestrin {
namespace {

// A long line grows the buffer by a quarter at a time, and by at most this much,
// so that the buffer never holds much more than the line.
constexpr std::size_t kMaxGrowth = 32 << 20;

}  // namespace

LogReader::LogReader(ByteSource& source, std::size_t bufferSize)
    : source_(source),
      buffer_(static_cast<char*>(std::malloc(std::max(bufferSize, 2 * kWindow)))),
      capacity_(std::max(bufferSize, 2 * kWindow)) {
    if (buffer_ == nullptr) throw std::bad_alloc();
}

LogReader::~LogReader() {
    std::free(buffer_);
}

bool LogReader::Fill(std::int64_t keepFrom, std::int64_t upTo) {
    if (atEnd_ || Available() >= upTo) return Available() >= upTo;
    keepFrom = std::min(keepFrom, Available());
    const std::size_t needed = std::size_t(upTo - keepFrom);
    if (base_ + std::int64_t(capacity_) < upTo) {
        // Keep only the line being read; grow only when that line outgrows the buffer.
        if (keepFrom > base_) {
            const std::size_t kept = std::size_t(Available() - keepFrom);
            std::memmove(buffer_, At(keepFrom), kept);
            base_ = keepFrom;
            size_ = kept;
        }
        if (needed > capacity_) {
            void* grown = std::realloc(buffer_, needed);
            if (grown == nullptr) throw std::bad_alloc();
            buffer_ = static_cast<char*>(grown);
            capacity_ = needed;
        }
    }
    while (Available() < upTo) {
        const Result<std::size_t> got = source_.Read(buffer_ + size_, capacity_ - size_);
        if (!got || *got == 0) {
            if (!got) failure_ = got.Failure();
            atEnd_ = true;
            break;
        }
        size_ += *got;
        fileOffset_ += std::int64_t(*got);
    }
    return Available() >= upTo;
}

std::int64_t LogReader::NextLineBreak(std::int64_t from, std::int64_t limit) {
    // Nothing lies between `from` and a remembered hit, nor below the scanned
    // mark, and positions only grow: each byte of the log is searched once. The
    // search runs on past `limit` (to the next break or the end of the buffer) so
    // that a line's search also serves the lines before the break.
    if (nextBreak_ >= from) return nextBreak_ < limit ? nextBreak_ : -1;
    const std::int64_t start = std::max(from, breakScannedTo_);
    const std::int64_t end = Available();
    if (start >= end) return -1;
    const std::int64_t hit =
        start + std::int64_t(searches_.findBreak(At(start), std::size_t(end - start)));
    breakScannedTo_ = hit;
    if (hit == end) return -1;
    nextBreak_ = hit;
    return hit < limit ? hit : -1;
}

std::int64_t LogReader::NextNul(std::int64_t from, std::int64_t limit) {
    if (nextNul_ >= from) return nextNul_ < limit ? nextNul_ : -1;
    const std::int64_t start = std::max(from, nulScannedTo_);
    const std::int64_t end = Available();
    if (start >= end) return -1;
    const void* hit = std::memchr(At(start), '\0', std::size_t(end - start));
    if (hit == nullptr) {
        nulScannedTo_ = end;
        return -1;
    }
    nextNul_ = base_ + (static_cast<const char*>(hit) - buffer_);
    nulScannedTo_ = nextNul_;
    return nextNul_ < limit ? nextNul_ : -1;
}

std::string_view LogReader::Ahead() {
    Fill(next_, next_ + std::int64_t(kWindow));
    if (next_ >= Available()) return {};
    return {At(next_), std::size_t(Available() - next_)};
}

std::optional<LogLine> LogReader::NextLine() {
    const std::int64_t start = next_;
    Fill(start, start + std::int64_t(kWindow));
    if (start >= Available()) return std::nullopt;
    const std::int64_t windowEnd = std::min(start + std::int64_t(kWindow), Available());

    std::int64_t lineEnd = NextLineBreak(start, windowEnd);
    std::int64_t next = 0;
    if (lineEnd >= 0) {
        // A CR LF is one terminator only when the window still holds the LF.
        next = start + std::int64_t(LineWithTerminator(Bytes(start), std::size_t(lineEnd - start)));
    } else if (std::int64_t nul = NextNul(start, windowEnd); nul >= 0) {
        lineEnd = nul;
        next = nul + 1;
    } else if (windowEnd - start < std::int64_t(kWindow)) {
        // The last line, without a terminator: the position moves past the end.
        lineEnd = windowEnd;
        next = windowEnd + 1;
    } else {
        // A long line runs on to the first CR or LF, however far, or to the end.
        std::int64_t from = windowEnd;
        for (;;) {
            lineEnd = NextLineBreak(from, Available());
            if (lineEnd >= 0) break;
            from = Available();
            if (stop_ && stop_()) {
                atEnd_ = true;
                break;
            }
            const std::size_t growth = std::max(kWindow, std::min(capacity_ / 4, kMaxGrowth));
            if (!Fill(start, from + std::int64_t(growth))) {
                if (from == Available()) break;
            }
        }
        if (lineEnd >= 0) {
            Fill(start, lineEnd + 2);
            next = start +
                   std::int64_t(LineWithTerminator(Bytes(start), std::size_t(lineEnd - start)));
        } else {
            lineEnd = Available();
            next = lineEnd + 1;
        }
    }
    next_ = next;
    ++lines_;
    return LogLine{{At(start), std::size_t(lineEnd - start)}};
}

bool LogReader::SkipEmptyNuls() {
    // A NUL at p is an empty line of its own exactly when no CR or LF lies in the
    // window [p, p + 1024): so every NUL of the run before the point 1023 bytes
    // short of the next line break is one, and all of them go at once.
    const std::int64_t start = next_;
    if (*At(start) != '\0') return false;
    std::int64_t limit;
    if (const std::int64_t lineBreak = NextLineBreak(start, Available()); lineBreak >= 0) {
        limit = lineBreak - std::int64_t(kWindow) + 1;
    } else if (atEnd_) {
        limit = Available();  // the windows end with the log: no break in any of them
    } else {
        limit = Available() - std::int64_t(kWindow) + 1;
    }
    if (limit <= start) return false;
    next_ = start + std::int64_t(searches_.findNotNul(At(start), std::size_t(limit - start)));
    lines_ += std::uint64_t(next_ - start);  // each NUL passed over was an empty line
    return true;
}

std::optional<LogLine> LogReader::NextNonEmptyLine() {
    for (;;) {
        Fill(next_, next_ + std::int64_t(kWindow));
        if (next_ >= Available()) return std::nullopt;
        if (SkipEmptyNuls()) continue;
        std::optional<LogLine> line = NextLine();
        if (!line || !line->text.empty()) return line;
    }
}

}  // namespace kestrin
