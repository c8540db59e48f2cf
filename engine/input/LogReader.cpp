#include "input/LogReader.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace kestrin {

LogReader::LogReader(ByteSource& source, std::size_t bufferSize)
    : source_(&source), buffer_(std::max(bufferSize, 2 * kWindow)) {}

LogReader::LogReader(int fd, std::size_t bufferSize)
    : ownSource_(std::make_unique<FileSource>(fd)),
      source_(ownSource_.get()),
      buffer_(std::max(bufferSize, 2 * kWindow)) {}

bool LogReader::Fill(std::int64_t keepFrom, std::int64_t upTo) {
    if (atEnd_ || Available() >= upTo) return Available() >= upTo;
    keepFrom = std::min(keepFrom, Available());
    std::size_t needed = std::size_t(upTo - keepFrom);
    if (base_ + std::int64_t(buffer_.size()) < upTo) {
        // Keep only the line being read; grow only when that line outgrows the buffer.
        std::size_t kept = std::size_t(Available() - keepFrom);
        std::memmove(buffer_.data(), At(keepFrom), kept);
        base_ = keepFrom;
        size_ = kept;
        if (needed > buffer_.size()) buffer_.resize(std::max(needed, 2 * buffer_.size()));
    }
    while (Available() < upTo) {
        std::int64_t got = source_->Read(buffer_.data() + size_, buffer_.size() - size_);
        if (got <= 0) {
            atEnd_ = true;
            break;
        }
        size_ += std::size_t(got);
        fileOffset_ += got;
    }
    return Available() >= upTo;
}

std::int64_t LogReader::FindByte(char byte, std::int64_t from, std::int64_t limit,
                                 std::int64_t& found, std::int64_t& scannedTo) {
    // Nothing lies between `from` and a remembered hit, nor below `scannedTo`, and
    // positions only grow: each byte of the log is searched once per byte value.
    // The search runs on to the end of the buffer, past `limit`, so that a byte
    // that is rare in the log costs one search a buffer, not one a line.
    if (found >= from) return found < limit ? found : -1;
    std::int64_t start = std::max(from, scannedTo);
    std::int64_t end = Available();
    if (start >= end) return -1;
    const void* hit = std::memchr(At(start), byte, std::size_t(end - start));
    if (hit == nullptr) {
        scannedTo = end;
        return -1;
    }
    found = base_ + (static_cast<const char*>(hit) - buffer_.data());
    scannedTo = found;
    return found < limit ? found : -1;
}

std::int64_t LogReader::NextLineBreak(std::int64_t from, std::int64_t limit) {
    std::int64_t cr = FindByte('\r', from, limit, nextCr_, crScannedTo_);
    std::int64_t lf = FindByte('\n', from, limit, nextLf_, lfScannedTo_);
    if (cr < 0) return lf;
    if (lf < 0) return cr;
    return std::min(cr, lf);
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
        bool crLf = *At(lineEnd) == '\r' && lineEnd + 1 < windowEnd && *At(lineEnd + 1) == '\n';
        next = lineEnd + (crLf ? 2 : 1);
    } else if (std::int64_t nul = FindByte('\0', start, windowEnd, nextNul_, nulScannedTo_);
               nul >= 0) {
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
            if (!Fill(start, from + std::int64_t(buffer_.size()))) {
                if (from == Available()) break;
            }
        }
        if (lineEnd >= 0) {
            Fill(start, lineEnd + 2);
            bool crLf =
                *At(lineEnd) == '\r' && lineEnd + 1 < Available() && *At(lineEnd + 1) == '\n';
            next = lineEnd + (crLf ? 2 : 1);
        } else {
            lineEnd = Available();
            next = lineEnd + 1;
        }
    }
    next_ = next;
    return LogLine{{At(start), std::size_t(lineEnd - start)}, start + 1};
}

}  // namespace kestrin
