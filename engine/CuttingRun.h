#pragma once

#include "RunRequest.h"
#include "Ui.h"
#include "UrlTable.h"

namespace kestrin {

/// What the Cutting button does, from the click to the closed files: checks the
/// keyword and the log, tallies the log's URLs into `table`, writes the report,
/// asks whether to add the ranked listing and says how it went. Every outcome,
/// failures included, reaches the user through `ui`; the run throws nothing.
void CuttingRun(const RunRequest& request, Ui& ui, UrlTable& table);

}  // namespace kestrin
