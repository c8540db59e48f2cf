#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "input/ByteSource.h"

namespace kestrin {

/// One line of the log, without its terminator.
struct LogLine {
    /// The line's bytes, valid until the next call of NextLine.
    std::string_view text;
    /// The 1-based position of the line's first byte in the log.
    std::int64_t position;
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
    static constexpr std::size_t kWindow = 1024;

    /// Reads the log's bytes from `source`, which must outlive the reader.
    explicit LogReader(ByteSource& source, std::size_t bufferSize = 1 << 20);
    /// Reads the plain log open on `fd`, which stays the caller's to close.
    explicit LogReader(int fd, std::size_t bufferSize = 1 << 20);

    /// The next line, or nothing at the end of the log (or after a read error,
    /// see Error).
    std::optional<LogLine> NextLine();

    /// The errno of a failed read, 0 while every read has succeeded; the source
    /// says more (a damaged compressed log).
    int Error() const { return source_->Error(); }
    /// Bytes of the log read so far.
    std::int64_t BytesRead() const { return fileOffset_; }

  private:
    // Byte positions below are offsets in the log; the buffer holds [base_, base_ + size).
    // Reads until the buffer holds the log up to `upTo`, keeping what lies from
    // `keepFrom` on; false when the log ends (or fails) before that.
    bool Fill(std::int64_t keepFrom, std::int64_t upTo);
    const char* At(std::int64_t pos) const { return buffer_.data() + (pos - base_); }
    std::int64_t Available() const { return base_ + std::int64_t(size_); }
    std::int64_t FindByte(char byte, std::int64_t from, std::int64_t limit, std::int64_t& found,
                          std::int64_t& scannedTo);
    std::int64_t NextLineBreak(std::int64_t from, std::int64_t limit);  // first CR or LF, or -1

    std::unique_ptr<ByteSource> ownSource_;  // for a reader made from a descriptor
    ByteSource* source_;
    std::int64_t next_ = 0;  // where the next line starts
    std::vector<char> buffer_;
    std::int64_t base_ = 0;
    std::size_t size_ = 0;
    std::int64_t fileOffset_ = 0;
    bool atEnd_ = false;
    // Where the next CR, LF and NUL were last seen, and how far each search went,
    // so a run of short lines never scans the same bytes twice.
    std::int64_t nextCr_ = -1, crScannedTo_ = 0;
    std::int64_t nextLf_ = -1, lfScannedTo_ = 0;
    std::int64_t nextNul_ = -1, nulScannedTo_ = 0;
};

}  // namespace kestrin
