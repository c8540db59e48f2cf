#pragma once

#include "text/UrlGroups.h"

namespace kestrin::win32 {

/// The report's entries the Options menu chose last, in this start or an earlier
/// one (kept in the registry, where the folder last chosen from is); URLs at first.
Grouping KeptGrouping();
/// Keeps the choice for the next start.
void KeepGrouping(Grouping grouping);

}  // namespace kestrin::win32
