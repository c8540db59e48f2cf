#pragma once

#include <cstddef>
#include <cstdint>

#include "input/FileSource.h"
#include "os/File.h"
#include "tally/Progress.h"
#include "tally/TallyLines.h"

namespace kestrin {

class CodePage;

/// Below this much log, a range costs a thread more than it saves.
inline constexpr std::int64_t kDefaultMinimumRange = 16 << 20;

/// Tallies the regular file `file` of `size` bytes into `tally` on up to `jobs`
/// threads, the calling one among them: the file is cut into ranges of at least
/// `minimumRange` bytes that start right after an LF (SplitLog), each range is
/// tallied into a tally of its own, and the tallies are merged in the order of
/// their ranges, so the result is exactly the tally of the whole file read on one
/// thread. `reading` (in bytes of the file) advances through the reading, nine
/// tenths of each byte, and the merge, the last tenth; when the run is to stop the
/// tally ends where it stands.
/// Tallies `range` of the regular file `file` into `tally`, as TallyLines does,
/// reading at the range's offsets: several threads can each tally a range of one
/// file into a tally of their own, and merging those tallies in range order
/// (UrlTally::Merge) gives the tally of the whole file when the ranges come from
/// SplitLog. The reader's buffer starts at `bufferSize` bytes. `reading` advances
/// by `share` (from 0 to 1) of each byte of the range.
Result<LineCounts> TallyRange(const os::File& file, LogRange range, const UrlCut& cut,
                              UrlTally& tally, Progress::Phase& reading, double share = 1,
                              std::size_t bufferSize = 1 << 20);

Result<LineCounts> TallyInRanges(const os::File& file, std::int64_t size, std::size_t jobs,
                                 std::int64_t minimumRange, const UrlCut& cut, UrlTally& tally,
                                 Progress::Phase& reading);

}  // namespace kestrin
