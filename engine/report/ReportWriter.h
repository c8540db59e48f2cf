#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "os/Fault.h"
#include "report/ReportFile.h"
#include "report/ReportUrls.h"
#include "tally/RunControl.h"
#include "tally/UrlTable.h"

namespace kestrin {

/// The line between a report's listing in URL order and the ranked one.
inline constexpr std::string_view kRankedBanner = "*********** SORTTING DATA ************";

/// How a report is laid out beyond its entries.
struct ReportForm {
    /// The ranked listing follows the one in URL order, after the banner line.
    bool ranked = false;
    /// When above 0: only the ranked listing's first `top` entries, nothing else.
    std::size_t top = 0;
    /// Lines end in LF alone, not CR LF.
    bool lf = false;
    /// The URLs written in another code page than the log's.
    ReportUrls* urls = nullptr;
};

/// What writing the report came to: the URLs written escaped, for bytes that could
/// not be written in the report's code page, and those escaped lest they read as one.
struct ReportWritten {
    std::uint64_t escaped = 0;
    std::uint64_t lookAlikes = 0;
};

/// Writes the report of `table` to `file` in `form`: one entry line for each entry
/// (the URL, TAB, blank, the count in decimal, the line end). Each listing and the
/// ranking are phases of `control`, whose stop ends the writing with the stop
/// fault; a report written in place makes room for the whole of it first. The
/// first failed write is the fault. The lines of a big listing are formed on up to
/// `threads` threads.
Result<ReportWritten> WriteReport(ReportFile& file, UrlTable& table, const ReportForm& form,
                                  RunControl& control, unsigned threads = 1);

}  // namespace kestrin
