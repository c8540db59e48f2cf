#pragma once

#include <string>
#include <vector>

#include "TextSink.h"
#include "run/RunRequest.h"

namespace kestrin {

/// Where kestrin-cut writes besides the report (which goes to the save path, "-"
/// being standard output): help and version text on `out`, messages on `err`.
struct Console {
    TextSink& out;
    TextSink& err;
    /// The width of the terminal standard error is, 0 when it is none.
    int errorColumns = 0;
    /// True when standard output was closed as the program began.
    bool outputClosed = false;
    /// True when standard input is a terminal, where a log read from it is typed.
    bool inputIsTerminal = false;
    /// True when the report's path ("-" being standard output) is standard error's
    /// terminal: a report written there leaves no room for a progress bar.
    bool (*namesErrorTerminal)(const std::string& path) = nullptr;
};

/// kestrin-cut [OPTIONS] [LOGFILE...], a filter from the logs (standard input
/// without any) to the report (standard output without -o). `args` excludes the
/// program name. Returns the exit status: 0 after "Complete", 1 after an error
/// message, 2 for a usage error. The options fill in `defaults` (a test's way to
/// reach what no option sets, such as the size of a log's ranges).
int RunCommandLine(const std::vector<std::string>& args, Console console,
                   const RunRequest& defaults = {});

}  // namespace kestrin
