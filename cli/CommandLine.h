#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace kestrin {

/// Where kestrin-cut reads and writes: the log "-" from `inFd`; the report without
/// -o, help and version text on `out` (whose descriptor is `outFd`); messages on `err`.
struct Console {
    std::ostream& out;
    int outFd;
    std::ostream& err;
    bool errIsTerminal;
    int inFd = -1;
};

/// kestrin-cut [OPTIONS] [LOGFILE...], a filter from the logs (standard input
/// without any) to the report (standard output without -o). `args` excludes the
/// program name. Returns the exit status: 0 after "Complete", 1 after an error
/// message, 2 for a usage error.
int RunCommandLine(const std::vector<std::string>& args, Console console);

}  // namespace kestrin
