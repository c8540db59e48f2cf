#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "input/ByteSource.h"

namespace kestrin {

/// Bytes [begin, end) of a log.
struct LogRange {
    std::int64_t begin = 0;
    std::int64_t end = 0;
};

/// Cuts bytes [0, size) of the regular file open on `fd` into at most `parts`
/// consecutive ranges of about equal size, each starting at 0 or right after an
/// LF, found by reading forward from each cut point. Reads with pread, so the
/// file's offset is left alone. On a failed read returns nothing and sets `error`
/// to its errno.
///
/// Why such a range is read exactly as the whole log reads it: an LF always ends
/// what comes before it. Either it is the first CR or LF of its line's window (the
/// line ends at it, or at the CR just before it, as one CR LF), or it lies past a
/// window without CR or LF, where a long line runs on to the first CR or LF, so to
/// it at the latest; it cannot lie after a NUL that ends a line, since the window
/// of that line would hold it and the NUL rule would not apply; and if the CR before
/// it ended a line alone (the LF just outside that line's window), the LF is an
/// empty line of its own. So a line starts right after every LF, whatever the
/// 1024-byte windows say; a range that ends right after an LF holds its lines whole,
/// and each window of the range holds the same first CR or LF as in the whole log.
/// The code page plays no part: CodePage refuses code pages where an LF could be
/// the second byte of a character, and lines are cut before characters are read.
std::vector<LogRange> SplitLog(int fd, std::int64_t size, std::size_t parts, int& error);

/// Bytes of one range of a file read with pread, so that several threads read
/// their ranges of one descriptor at once. A file cut short ends the range early.
class RangeSource : public ByteSource {
  public:
    RangeSource(int fd, LogRange range) : fd_(fd), range_(range), at_(range.begin) {}
    std::int64_t Read(char* into, std::size_t size) override;

  private:
    int fd_;
    LogRange range_;
    std::int64_t at_;
};

/// The processors this process may run on: its CPU affinity, lowered to a cgroup
/// v2 CPU quota (cpu.max of its cgroup or any above it) when there is one. At least 1.
std::size_t UsableProcessors();

}  // namespace kestrin
