#pragma once

#include <cstdint>
#include <functional>

#include "input/LogRanges.h"

namespace kestrin {

class CuttingRule;
class HostFilter;
class LogReader;
class UrlTally;

/// Told now and then how many bytes of the log the tally has read; returns false
/// to stop it.
using KeepGoing = std::function<bool(std::int64_t bytesRead)>;

/// What a tally counts besides the URLs: the lines read, and those whose URL
/// was counted.
struct LineCounts {
    std::uint64_t lines = 0;
    std::uint64_t withUrl = 0;
};

/// The URLs a run counts: those the rule cuts, but for the hosts left out.
struct UrlCut {
    const CuttingRule& rule;
    const HostFilter& hosts;
};

/// Counts the URL of every line `reader` gives into `tally`. Lines without bytes
/// yield no URL, so runs of them are passed over in bulk. False when `keepGoing`
/// stopped it; a failed read ends it too (see the reader's Error).
bool TallyLines(LogReader& reader, const UrlCut& cut, UrlTally& tally, LineCounts& counts,
                const KeepGoing& keepGoing = {});

/// Tallies `range` of the regular file open on `fd` into `tally`, as TallyLines
/// does, reading with pread: several threads can each tally a range of one
/// descriptor into a tally of their own, and merging those tallies in range order
/// (UrlTally::Merge) gives the tally of the whole file when the ranges come from
/// SplitLog. The reader's buffer starts at `bufferSize` bytes. Returns the errno
/// of a failed read, or 0 (also when stopped).
int TallyRange(int fd, LogRange range, const UrlCut& cut, UrlTally& tally, LineCounts& counts,
               const KeepGoing& keepGoing = {}, std::size_t bufferSize = 1 << 20);

}  // namespace kestrin
