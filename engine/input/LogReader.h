#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "input/ByteSource.h"
#include "input/LineBreaks.h"
#include "text/ByteScan.h"

namespace kestrin {

/// One line of the log, without its terminator.
struct LogLine {
    /// The line's bytes, valid until the next call of NextLine.
    std::string_view text;
};

/// The log, streamed through one buffer that grows only for a line longer than it.
///
/// Lines are found as the window of 1024 bytes at the line's start shows them: the
/// first CR or LF in the window ends the line, and a CR with an LF right after it
/// inside the window ends it as one terminator. A window without CR or LF ends the
/// line at its first NUL. A full window with none of the three runs the line on to
/// the first CR or LF, or to the end of the log, however far that is.
class LogReader {
  public:
    static constexpr std::size_t kWindow = kLineWindow;

    /// Reads from `source`, which must outlive the reader.
    explicit LogReader(ByteSource& source, std::size_t bufferSize = 1 << 20);
    ~LogReader();
    LogReader(const LogReader&) = delete;
    LogReader& operator=(const LogReader&) = delete;

    /// The next line, or nothing at the end of the log (or after a fault, see
    /// Failure).
    std::optional<LogLine> NextLine();

    /// The next line that holds at least one byte: NextLine, with the empty lines
    /// passed over. A run of NULs (an empty line each, where no CR or LF follows
    /// within the window) is passed over in one vector pass, not line by line.
    std::optional<LogLine> NextNonEmptyLine();

    /// The log's bytes from the next line's start on, as far as they are read:
    /// at least a window's worth unless the log ends sooner. Empty at the end.
    /// Valid until the next call of any other member.
    std::string_view Ahead();
    /// Passes over `lines` lines the caller found in the first `bytes` of Ahead,
    /// by the rules above; `bytes` ends right after a line's terminator.
    void Consume(std::size_t bytes, std::uint64_t lines) {
        next_ += std::int64_t(bytes);
        lines_ += lines;
    }

    /// Asked while a line runs on past its window, each time the buffer grows for
    /// it: true ends the log there, so that a run that is to stop need not wait for
    /// a line of gigabytes to end. None by default.
    void StopWhen(std::function<bool()> stop) { stop_ = std::move(stop); }

    /// The fault that ended the log early, if any.
    const Status& Failure() const { return failure_; }
    /// Lines read so far, those passed over by NextNonEmptyLine included.
    std::uint64_t LinesRead() const { return lines_; }
    /// Bytes of the log read so far.
    std::int64_t BytesRead() const { return fileOffset_; }

  private:
    // Byte positions below are offsets in the log; the buffer holds [base_, base_ + size).
    // Reads until the buffer holds the log up to `upTo`, keeping what lies from
    // `keepFrom` on; false when the log ends (or fails) before that.
    bool Fill(std::int64_t keepFrom, std::int64_t upTo);
    const char* At(std::int64_t pos) const { return buffer_ + (pos - base_); }
    // The bytes read from `pos` on.
    std::string_view Bytes(std::int64_t pos) const {
        return {At(pos), std::size_t(Available() - pos)};
    }
    std::int64_t Available() const { return base_ + std::int64_t(size_); }
    // The first CR or LF in [from, limit), or -1; one pass over CR and LF together.
    std::int64_t NextLineBreak(std::int64_t from, std::int64_t limit);
    std::int64_t NextNul(std::int64_t from, std::int64_t limit);
    // Passes over the NULs at next_ that are empty lines; false when there are none.
    bool SkipEmptyNuls();

    ByteSource& source_;
    std::int64_t next_ = 0;  // where the next line starts
    std::uint64_t lines_ = 0;
    // malloc'd, so that a long line grows it with realloc, which moves pages rather
    // than copying them and never holds the old and the new buffer at once.
    char* buffer_ = nullptr;
    std::size_t capacity_ = 0;
    std::int64_t base_ = 0;
    std::size_t size_ = 0;
    std::int64_t fileOffset_ = 0;
    bool atEnd_ = false;
    Status failure_;
    std::function<bool()> stop_;
    // Where the next line break and NUL were last seen, and how far each search
    // went, so a run of short lines never scans the same bytes twice.
    std::int64_t nextBreak_ = -1, breakScannedTo_ = 0;
    std::int64_t nextNul_ = -1, nulScannedTo_ = 0;
    const scan::LineSearches& searches_ = scan::FastestLineSearches();
};

}  // namespace kestrin
