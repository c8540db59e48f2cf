#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "input/ByteSource.h"
#include "tally/RunControl.h"

namespace kestrin {

/// Reads the first listing of a report as a run writes it: every line up to the
/// ranked listing's banner (or the end) is an entry, the URL's bytes, TAB, blank,
/// a count above 0 in decimal without sign or leading zero, CR LF. Calls
/// `entry(url, count)` for each, and tells `reading` the bytes taken from
/// `source` as it goes. A line that is no entry is a malformed fault saying which
/// and why; the source's fault and the stop end it too.
Status ReadReportListing(ByteSource& source, Phase::Piece& reading,
                         const std::function<void(std::string_view, std::uint64_t)>& entry);

}  // namespace kestrin
