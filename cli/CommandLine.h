#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace kestrin {

/// Where kestrin-cut writes: the report of SAVEFILE "-", help and version text on
/// `out` (whose descriptor is `outFd`), messages on `err`.
struct Console {
    std::ostream& out;
    int outFd;
    std::ostream& err;
    bool errIsTerminal;
};

/// kestrin-cut [--keyword TEXT] [--ranked] [--codepage NAME] LOGFILE SAVEFILE.
/// `args` excludes the program name. Returns the exit status: 0 after "Complete",
/// 1 after an error message, 2 for a usage error.
int RunCommandLine(const std::vector<std::string>& args, Console console);

}  // namespace kestrin
