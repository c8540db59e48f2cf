#pragma once

#include <cstddef>
#include <cstdint>

#include "os/File.h"
#include "tally/Progress.h"
#include "tally/RangeTally.h"

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
Result<LineCounts> TallyInRanges(const os::File& file, std::int64_t size, std::size_t jobs,
                                 std::int64_t minimumRange, const UrlCut& cut, UrlTally& tally,
                                 Progress::Phase& reading);

}  // namespace kestrin
