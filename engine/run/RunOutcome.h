#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "input/ArchiveReader.h"
#include "input/LogLooks.h"
#include "os/Fault.h"
#include "run/RunRequest.h"
#include "run/Ui.h"

namespace kestrin {

/// How a run ended.
enum class RunOutcome {
    Complete,              // the report was written and took its place
    Stopped,               // the front end asked the run to stop; nothing was saved
    KeywordNotSingleByte,  // the back keyword is not one character of one byte
    CodePageUnusable,      // the code page does not open, or cannot be read as bytes
    LogNotFound,           // a log is not an ordinary file
    LogUnreadable,         // a log could not be opened or read, or is in a form not read
    NotAReport,            // a report to merge is not one (the fault says which line, and why)
    ReportUnsavable,       // the report could not be opened, written or put in place
    OutOfMemory,
    InternalFailure,  // a limit of the tally was passed (a URL or a table too large)
};

/// What tallying logs read: the logs (each archive member one), their lines, those
/// that yielded a URL counted, and what the first log looked like; the archive
/// members passed over, and what the user should know of archives read all the same.
struct LogCounts {
    std::uint64_t logs = 0;
    std::uint64_t lines = 0;
    std::uint64_t linesWithUrl = 0;
    LogLooks looks = LogLooks::Text;
    SkippedMembers skipped{};
    std::vector<std::string> warnings{};
};

/// What merging reports read: the reports (each archive member one) and their
/// entries, and as for logs the members passed over and the warnings.
struct MergeCounts {
    std::uint64_t reports = 0;
    std::uint64_t entries = 0;
    SkippedMembers skipped{};
    std::vector<std::string> warnings{};
};

/// What a run did: its outcome, the path it concerns (a log, a report to merge or
/// the save path; empty where none) and for a failure why, in the system's words or
/// our own.
struct RunResult {
    RunOutcome outcome = RunOutcome::Complete;
    std::string path{};
    Fault fault{};
    /// What was read, by a run over logs or a merge of reports, and the distinct
    /// URLs of the report.
    LogCounts read{};
    MergeCounts merged{};
    std::uint64_t distinctUrls = 0;
    /// The report's distinct hosts or sites, when it groups the URLs.
    std::uint64_t distinctEntries = 0;
    /// What the user should know of a report that was saved, though not as asked.
    std::vector<std::string> warnings{};
};

/// The message a run shows for how it ended: the same for every front end. A
/// stopped run shows none (its headline is empty): the user asked for the stop.
RunMessage MessageFor(const RunRequest& request, const RunResult& result);

/// The counts of a completed run in one line, as "12 lines, 10 with a URL, 7 distinct
/// URLs", or what is known of a log that yielded none.
std::string SummaryOf(const RunRequest& request, const RunResult& result);

/// The counts of a completed run by name, as a JSON report gives them: "lines",
/// "linesWithUrl" (or "reports" and "entriesRead" for a merge), "distinctUrls",
/// and "hosts" or "sites" when the report groups the URLs.
std::vector<std::pair<std::string, std::uint64_t>> CountsOf(const RunRequest& request,
                                                            const RunResult& result);

}  // namespace kestrin
