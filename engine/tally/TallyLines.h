#pragma once

#include <cstdint>

#include "input/ByteSource.h"
#include "tally/RunControl.h"

namespace kestrin {

class CuttingRule;
class HostFilter;
class LogReader;
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

/// Counts the URL of every line `reader` gives into `tally`. Lines without bytes
/// yield no URL, so runs of them are passed over in bulk. Every few megabytes
/// `reading` is told the bytes of the file taken, as `source` (the reader's)
/// counts them from where it stood when the tally began. The reader's fault, or
/// the stop, ends the tally and is its result.
Result<LineCounts> TallyLines(LogReader& reader, const ByteSource& source, const UrlCut& cut,
                              UrlTally& tally, Phase::Piece& reading);

}  // namespace kestrin
