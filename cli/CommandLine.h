#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace kestrin {

/// Where kestrin-cut writes besides the report (which goes to the save path, "-"
/// being standard output): help and version text on `out`, messages on `err`.
struct Console {
    std::ostream& out;
    std::ostream& err;
    /// The width of the terminal a progress bar may be drawn on: 0 for none, as
    /// when standard error is no terminal, or the terminal the report goes to.
    int progressColumns = 0;
};

/// kestrin-cut [OPTIONS] [LOGFILE...], a filter from the logs (standard input
/// without any) to the report (standard output without -o). `args` excludes the
/// program name. Returns the exit status: 0 after "Complete", 1 after an error
/// message, 2 for a usage error.
int RunCommandLine(const std::vector<std::string>& args, Console console);

}  // namespace kestrin
