#pragma once

#include <mutex>
#include <optional>

#include "input/ByteSource.h"
#include "os/File.h"

namespace kestrin {

/// Why a log that ends before the size it had when opened is not read: what was
/// read of it may be a line cut off, or a range of some other text.
Fault LogShrank();

/// The bytes of a file from where it stands, as they are. A regular file is read
/// as long as it was when opened: what a program adds to it meanwhile is left for
/// the next run, and a file that ends sooner shrank while it was read.
class FileSource : public ByteSource {
  public:
    /// Reads `file`, which must outlive the source; `atOffsets` for a regular file
    /// read from its start, each read at an offset of its own.
    explicit FileSource(os::File& file, bool atOffsets = false);
    Result<std::size_t> Read(char* into, std::size_t size) override;
    std::int64_t Consumed() const override { return consumed_; }

  private:
    os::File& file_;
    bool atOffsets_;
    std::int64_t consumed_ = 0;
    std::int64_t length_;  // -1 where it is not known: a pipe, a terminal, /proc's files
};

/// Up to `size` bytes of the log in the regular file `file` from `offset`, never
/// past `end`, the log's end when the file was opened: 0 only at `end`. A file that
/// ends before it shrank while it was read.
Result<std::size_t> ReadLogAt(const os::File& file, char* into, std::size_t size,
                              std::int64_t offset, std::int64_t end);

/// Bytes [begin, end) of a log.
struct LogRange {
    std::int64_t begin = 0;
    std::int64_t end = 0;
};

/// One range of a regular file, read at its offsets, so that several threads can
/// each read their range of one file at once. Another thread may take the end of
/// the range away while it is read (GiveAwayFrom): the part not yet asked for.
class RangeSource : public ByteSource {
  public:
    RangeSource(const os::File& file, LogRange range)
        : file_(file), range_(range), at_(range.begin), asked_(range.begin) {}
    Result<std::size_t> Read(char* into, std::size_t size) override;
    std::int64_t Consumed() const override { return at_ - range_.begin; }

    /// The bytes not yet asked for: [first, end) of the file.
    LogRange Left() const;
    /// Ends the range at `from`, which must be a line's start, and returns what was
    /// past it; nothing when its reader has asked for the bytes up to there, or the
    /// range does not go past it.
    std::optional<LogRange> GiveAwayFrom(std::int64_t from);

  private:
    const os::File& file_;
    mutable std::mutex mutex_;
    LogRange range_;  // its end is the mutex's
    std::int64_t at_;
    std::int64_t asked_;  // the mutex's: no read goes past it unless the end is looked at again
};

}  // namespace kestrin
