#pragma once

#include "run/TallyLogs.h"

namespace kestrin {

/// Adds up the first listings of the reports, URL by URL, the hosts of `cut` left
/// out, reading them in their order, one open at a time; `reading` is told the bytes of the files
/// taken. The first fault ends it (the stop among them), naming the report it came
/// from: a line that is no entry, or counts that add up past what a count holds,
/// are malformed reports.
Status MergeReports(const FoundLogs& reports, const UrlCut& cut, UrlTally& tally, Phase& reading,
                    MergeCounts& counts);

}  // namespace kestrin
