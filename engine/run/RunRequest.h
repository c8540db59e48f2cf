#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "report/ReportFormats.h"
#include "text/CuttingRule.h"
#include "text/UrlGroups.h"

namespace kestrin {

/// The code page logs are read and reports written in unless a run names another.
inline constexpr const char* kDefaultCodePage = "CP932";

/// The back keyword list entries, in list order: the first stands for one space.
inline constexpr const char16_t* kBackKeywordEntries[] = {u"Space", u"\"", u","};

/// The back keyword that text typed into the keyword box (or given on the command
/// line) stands for: one space for the entry "Space", the text itself otherwise.
std::u16string BackKeywordFrom(std::u16string_view typed);

/// The inputs of one run.
struct RunRequest {
    /// The logs, each read as a file of its own and all tallied as one. "-", and an
    /// empty list, stand for standard input.
    std::vector<std::string> logPaths{};
    /// Where the report goes; "-" is standard output.
    std::string savePath{};
    /// Standard output was closed as the program began: a report to "-" has nowhere
    /// to go (the descriptor may stand for a file opened since).
    bool outputClosed = false;
    /// The effective terminator of a URL; a run accepts only one character that is
    /// one byte in the code page.
    std::u16string backKeyword = u" ";
    /// An ICU converter name for a code page of one- and two-byte characters, or UTF-8.
    std::string codePage = kDefaultCodePage;
    /// When set, the run stops as soon as it sees it true (a window that closes),
    /// leaving any earlier report as it was.
    const std::atomic<bool>* stop = nullptr;
    /// The schemes whose URLs are cut.
    Schemes schemes{};
    /// URLs of these hosts and their subdomains are not counted.
    std::vector<std::string> excludedHosts{};
    /// The logs are reports of earlier runs: their first listings are added up.
    bool mergeReports = false;
    /// Threads that may tally and sort at once, at most the processors this process
    /// may use; 0 for all of them.
    std::size_t jobs = 0;
    /// A plain log is cut into ranges of at least this many bytes, one a thread;
    /// 0 for the default.
    std::int64_t minimumRange = 0;
    /// The report's code page, where it is not the logs': their URLs are written
    /// in it where they can be.
    std::string reportCodePage{};
    /// When above 0, and the ranked listing is asked for: only its first `top`
    /// entries make the report.
    std::size_t top = 0;
    /// The report's lines end in LF alone, not CR LF.
    bool lfLineEnds = false;
    /// The report's entries: the URLs, or the hosts or sites they add up to.
    Grouping group = Grouping::Url;
    /// The report's form: the report's own, or a CSV, JSON or web page table.
    ReportFormat format = ReportFormat::Report;
};

}  // namespace kestrin
