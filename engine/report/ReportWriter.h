#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "os/Fault.h"
#include "os/ReportFile.h"
#include "tally/Progress.h"
#include "tally/UrlTable.h"

namespace kestrin {

/// The line between a report's listing in URL order and the ranked one.
inline constexpr std::string_view kRankedBanner = "*********** SORTTING DATA ************";

/// How much of a run the report takes: the listing in URL order, the ranking, and
/// the ranked listing.
inline constexpr double kListingShare = 0.10, kRankingShare = 0.025, kRankedShare = 0.025;

/// Bytes the report of `table` takes, with the ranked listing or without.
std::int64_t ReportSize(const UrlTable& table, bool ranked);

/// Writes the report of `table` to `file`: one entry line for each entry in URL
/// order (the URL's bytes, TAB, blank, the count in decimal, CR LF); when `ranked`,
/// the banner line and every entry again, ranked by count. Each listing and the
/// ranking are phases of `progress`; a run asked to stop ends as soon as it sees
/// it, but for a report written in place, which must run to its end once begun.
/// The first failed write is the fault.
Status WriteReport(os::ReportFile& file, UrlTable& table, bool ranked, Progress& progress);

/// The report's lines through one buffer.
class ReportWriter {
  public:
    explicit ReportWriter(os::ReportFile& file, std::size_t bufferSize = 1 << 20);

    /// One entry line: the URL's bytes, TAB, blank, the count in decimal, CR LF.
    void WriteEntry(std::string_view url, std::uint64_t count);
    /// One line of text followed by CR LF.
    void WriteLine(std::string_view text);
    /// Hands everything buffered to the file; the first fault of any write.
    Status Flush();

  private:
    void Append(std::string_view bytes);

    os::ReportFile& file_;
    std::vector<char> buffer_;
    std::size_t used_ = 0;
    Status failure_;
};

}  // namespace kestrin
