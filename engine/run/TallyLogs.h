#pragma once

#include <memory>
#include <vector>

#include "input/OpenedLog.h"
#include "run/RunOutcome.h"
#include "tally/ParallelTally.h"
#include "tally/TallyLines.h"
#include "tally/UrlTally.h"

namespace kestrin {

/// The logs of a run, in the order they were named, as the run found them: each is
/// opened when its turn comes and closed once read, so that a run may name more
/// logs than it may hold open. A log that is no longer what the run found (another
/// file under its name, or a shorter one) fails when it is opened.
using FoundLogs = std::vector<FoundLog>;

/// How a run may share out its reading.
struct WorkSharing {
    /// At most this many threads at once, the calling one among them.
    std::size_t jobs = 1;
    /// A plain log is cut into ranges of at least this many bytes, one a thread.
    std::int64_t minimumRange = 0;
};

/// Tallies the URLs of the logs as one log, reading them in their order. A plain
/// log in a regular file is read in ranges on the threads; logs read as streams (a
/// pipe, a compressed log, an archive's members) go several at once, one a thread,
/// each into a tally of its own merged in the logs' order, so that a URL keeps the
/// byte form it first had; no more of them are open at once than two a thread, and
/// sixteen (or as many as there are threads, where that is more); on one thread,
/// one.
/// The phases are told the bytes of the files taken. The first fault ends it (the
/// stop among them), naming the log it came from.
Status TallyLogs(const FoundLogs& logs, const UrlCut& cut, const WorkSharing& sharing,
                 UrlTally& tally, const ReadingPhases& phases, LogCounts& counts);

}  // namespace kestrin
