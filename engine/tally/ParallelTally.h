#pragma once

#include <cstddef>
#include <cstdint>

#include "tally/RangeTally.h"

namespace kestrin {

class CodePage;

/// Tallies the `size` bytes of the plain regular file open on `fd` into `tally`
/// on up to `jobs` threads, the calling one among them: the file is cut into
/// ranges that start right after an LF (SplitLog), each range is tallied into a
/// tally of its own, and the tallies are merged in the order of their ranges, so
/// the result is exactly the tally of the whole file read on one thread.
/// `keepGoing` is called on the calling thread only, with how far the work has
/// come in bytes of the file (the reading of all ranges, then the merge); false
/// stops every range, or the merge. Returns the errno of a failed read, or 0.
int TallyInRanges(int fd, std::int64_t size, std::size_t jobs, const CodePage& page,
                  const UrlCut& cut, UrlTally& tally, LineCounts& counts,
                  const KeepGoing& keepGoing);

}  // namespace kestrin
