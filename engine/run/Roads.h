#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "input/OpenedLog.h"
#include "run/RunOutcome.h"
#include "tally/Progress.h"
#include "tally/TallyLines.h"
#include "tally/UrlTally.h"

namespace kestrin {

/// The two roads by which a run fills its tally: logs tallied, or reports written
/// before merged. Both read `logs` in their order as one, advance `reading` by the
/// bytes of the files taken, and end with the failure of the first log that fails;
/// when the run is to stop they end early, with what they have.
using OpenedLogs = std::vector<std::unique_ptr<OpenedLog>>;

/// How a road may share out its work.
struct Threads {
    /// At most this many at once, the calling one among them.
    std::size_t jobs = 1;
    /// A plain log is cut into ranges of at least this many bytes, one a thread.
    std::int64_t minimumRange = 0;
};

/// Tallies the URLs of the logs as one log. A plain log in a regular file is read in
/// ranges on the threads; logs read as streams (a pipe, a compressed log, an
/// archive's members) go several at once, one a thread, each into a tally of its own
/// merged in the logs' order, so that a URL keeps the byte form it first had.
std::optional<RunResult> TallyLogs(OpenedLogs& logs, const UrlCut& cut, const Threads& threads,
                                   UrlTally& tally, Progress::Phase& reading, LogCounts& counts);

/// Adds up the first listings of the reports, URL by URL, the hosts of `cut` left out.
std::optional<RunResult> MergeReports(OpenedLogs& reports, const UrlCut& cut, UrlTally& tally,
                                      Progress::Phase& reading, MergeCounts& counts);

}  // namespace kestrin
