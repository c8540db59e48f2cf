#pragma once

#include "tally/RunControl.h"
#include "tally/UrlTable.h"
#include "text/UrlGroups.h"

namespace kestrin {

/// The entries of a finished tally added up by the entry `grouper` gives each URL
/// (its host, its site), in URL order as SortByUrl gives them, alike forms merged.
/// The work is done once a distinct URL, after the lines are counted, and `urls`
/// is given back as it goes. `grouping` advances by one for each URL and its stop
/// ends the grouping; a count past 2^64 - 1 is the failure.
Result<UrlTable> GroupedTable(UrlTable&& urls, UrlGrouper& grouper, const CodePage& page,
                              Phase& grouping, unsigned threads);

}  // namespace kestrin
