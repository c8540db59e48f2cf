#pragma once

#include <cstdint>
#include <string>

#include "input/LogLooks.h"
#include "run/Ui.h"

namespace kestrin {

/// How a run ended.
enum class RunOutcome {
    Complete,              // the report was written and closed
    Stopped,               // the front end asked the run to stop; nothing was saved
    KeywordNotSingleByte,  // the back keyword is not one character of one byte
    CodePageUnusable,      // the code page does not open, or cannot be read as bytes
    LogNotFound,           // the log is not an ordinary file
    LogUnreadable,         // the log could not be opened or read
    NotAReport,            // a report to merge is not one (detail: which line, and why)
    ReportUnsavable,       // the report could not be opened, written or closed
    OutOfMemory,
    InternalFailure,  // a limit of the tally was passed (a URL or a table too large)
};

/// What a run did: its outcome, the path it concerns (the log or the save path,
/// empty where none), and for failures the system's reason when there is one.
struct RunResult {
    RunOutcome outcome = RunOutcome::Complete;
    std::string path{};
    /// An errno value, 0 when the failure has none.
    int systemError = 0;
    /// The text of a failure that carries its own words (a code page's error,
    /// what a limit said).
    std::string detail{};
    /// What was read: lines (entries, when merging), those that yielded a URL,
    /// and the distinct URLs of the report.
    std::uint64_t lines = 0;
    std::uint64_t linesWithUrl = 0;
    std::uint64_t distinctUrls = 0;
    LogLooks looks = LogLooks::Text;
};

/// A message box as the user sees it.
struct RunMessage {
    std::string text;  // a CR stands for a line break
    std::string title;
    MessageIcon icon;
};

/// The message a run shows for how it ended: the same texts for every front end.
/// A stopped run shows none (its text is empty): the user asked for the stop.
RunMessage MessageFor(const RunResult& result);

}  // namespace kestrin
