#pragma once

#include <cstddef>
#include <cstdint>

#include "input/FileSource.h"
#include "os/File.h"
#include "tally/RunControl.h"
#include "tally/TallyLines.h"

namespace kestrin {

class CodePage;

/// The two phases of reading logs, each in bytes of the logs: reading a log, and
/// merging the tallies its parts were read into (a log read whole into the run's
/// tally is merged as soon as it is read).
struct ReadingPhases {
    Phase& reading;
    Phase& merging;
};

/// Below this much log, a range costs a thread more than it saves.
inline constexpr std::int64_t kDefaultMinimumRange = 16 << 20;

/// Tallies `range` of the regular file `file` into `tally`, as TallyLines does,
/// reading at the range's offsets: several threads can each tally a range of one
/// file into a tally of their own, and merging those tallies in range order
/// (UrlTally::Merge) gives the tally of the whole file when the ranges come from
/// SplitLog. The cutter's buffer holds `bufferSize` bytes: a quarter of a
/// megabyte, which the kernel copies in and the cutter reads while it is still in
/// the processor's cache (the first 100 MB of a log 85 -> 77 ms against a whole
/// megabyte). `reading` is told the bytes of the range read.
Result<LineCounts> TallyRange(const os::File& file, LogRange range, const UrlCut& cut,
                              UrlTally& tally, Phase::Piece& reading,
                              std::size_t bufferSize = 256 << 10);
/// The same, of the range `source` reads: up to wherever its end is moved.
Result<LineCounts> TallyRange(RangeSource& source, const UrlCut& cut, UrlTally& tally,
                              Phase::Piece& reading, std::size_t bufferSize = 256 << 10);

/// Tallies the regular file `file` of `size` bytes into `tally` on up to `jobs`
/// threads, the calling one among them: the file is cut into ranges of at least
/// `minimumRange` bytes that start right after an LF (SplitLog), each range is
/// tallied into a tally of its own, and the tallies are merged in the order of
/// their ranges, so the result is exactly the tally of the whole file read on one
/// thread. A thread that has read its range takes over the second half of what is
/// left of the range with most left, from a line's start, while that is at least
/// `minimumRange`, into one more tally merged after that range's: one processor of
/// a virtual machine often runs slower than another by a good part, and the run
/// waited for its range. The phases are told of the file's bytes as they are read and
/// merged; the stop ends the tally with the stop fault.
Result<LineCounts> TallyInRanges(const os::File& file, std::int64_t size, std::size_t jobs,
                                 std::int64_t minimumRange, const UrlCut& cut, UrlTally& tally,
                                 const ReadingPhases& phases);

}  // namespace kestrin
