#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "input/ByteSource.h"

namespace kestrin {

/// Reads the first listing of a report as a run writes it: every line up to the
/// ranked listing's banner (or the end) is an entry, the URL's bytes, TAB, blank,
/// a count above 0 in decimal without sign or leading zero, CR LF. Calls
/// `entry(url, count)` for each. Returns empty when the listing was read whole,
/// else which line is no entry and why; a fault when the source failed.
Result<std::string> ReadReportListing(
    ByteSource& source, const std::function<void(std::string_view, std::uint64_t)>& entry);

}  // namespace kestrin
