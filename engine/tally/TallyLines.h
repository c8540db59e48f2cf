#pragma once

#include <cstdint>

#include "input/ByteSource.h"
#include "tally/RunControl.h"

namespace kestrin {

class CuttingRule;
class HostFilter;
class LineCutter;
class UrlTally;

/// What a tally counts besides the URLs: the lines read, and those whose URL
/// was counted.
struct LineCounts {
    std::uint64_t lines = 0;
    std::uint64_t withUrl = 0;

    LineCounts& operator+=(const LineCounts& more) {
        lines += more.lines;
        withUrl += more.withUrl;
        return *this;
    }
};

/// The URLs a run counts: those the rule cuts, but for the hosts left out.
struct UrlCut {
    const CuttingRule& rule;
    const HostFilter& hosts;
};

/// Counts the URL of every line `cutter` cuts into `tally`, but for those of the
/// hosts left out. Every few megabytes `reading` is told the bytes of the file
/// taken, as `source` (the cutter's) counts them from where it stood when the
/// tally began. The cutter's fault, or the stop, ends the tally and is its result;
/// a URL the cutter has not ended by then is not counted.
Result<LineCounts> TallyLines(LineCutter& cutter, const ByteSource& source, const HostFilter& hosts,
                              UrlTally& tally, Phase::Piece& reading);

}  // namespace kestrin
