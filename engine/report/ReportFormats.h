#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "os/Fault.h"
#include "report/ReportFile.h"
#include "tally/RunControl.h"
#include "tally/UrlTable.h"
#include "text/Transcoder.h"

namespace kestrin {

/// The forms a report may take: the report's own (ReportWriter), or one table for
/// other programs: CSV, JSON, or a web page.
enum class ReportFormat { Report, Csv, Json, Html };

/// How many entries the web page shows when no --top says.
inline constexpr std::size_t kPageEntries = 100;

/// What a table shows beside its entries, and how.
struct TableForm {
    ReportFormat format = ReportFormat::Csv;
    /// The name of the entries' column or key: "url", "host" or "site".
    std::string entryName = "url";
    /// The run's counts, by the names the JSON gives them, in order.
    std::vector<std::pair<std::string, std::uint64_t>> counts{};
    /// The run's counts in words, as the page shows them.
    std::string summary{};
    /// The entries ranked by count (the page always is).
    bool ranked = false;
    /// When above 0: only the first `top` entries of the ranking.
    std::size_t top = 0;
    /// The CSV's lines end in LF alone, not CR LF.
    bool lf = false;
    /// The entries in another code page, their bytes that cannot be written there
    /// escaped (JSON and the page: UTF-8); none: the log's bytes as they stand.
    Transcoder* text = nullptr;
    /// The CSV begins with a UTF-8 byte order mark.
    bool byteOrderMark = false;
};

/// What writing a table came to: the entries with a byte escaped.
struct TableWritten {
    std::uint64_t escaped = 0;
};

/// Writes `table` to `file` as `form` says: the CSV (RFC 4180: a header line, fields
/// quoted where they must be), the JSON (one object: the counts, then the entries
/// as {"url": ..., "count": ...}), or a page that needs nothing from elsewhere
/// (the counts, the ranked entries with a bar for each count, links only to http
/// and https URLs). Ranking and writing are phases of `control`, whose stop ends
/// the writing with the stop fault; a report written in place makes room for the
/// whole of it first. The first failed write is the fault.
Result<TableWritten> WriteTable(ReportFile& file, UrlTable& table, const TableForm& form,
                                RunControl& control);

}  // namespace kestrin
