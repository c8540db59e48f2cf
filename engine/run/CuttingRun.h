#pragma once

#include "run/RunOutcome.h"
#include "run/RunRequest.h"
#include "run/Ui.h"

namespace kestrin {

/// One run, from the click to the closed files: checks the keyword and the log,
/// tallies the log's URLs, writes the report, asks whether to add the ranked
/// listing and shows how it went. Every outcome reaches the user through `ui`
/// and comes back as the result; the run throws nothing.
RunResult CuttingRun(const RunRequest& request, Ui& ui);

/// What a request must be before a run begins: its code pages open, and its back
/// keyword is one character of one byte in the logs' code page. Complete when the
/// run may begin; otherwise the outcome that ends it, as CuttingRun would.
RunResult CheckRequest(const RunRequest& request);

}  // namespace kestrin
