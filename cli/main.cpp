#include <unistd.h>

#include <iostream>

#include "CommandLine.h"
#include "report/ReportCleanup.h"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    // An interrupted run leaves the previous report and no temporary file.
    kestrin::InstallReportCleanupOnSignals();
    std::vector<std::string> args(argv + 1, argv + argc);
    return kestrin::RunCommandLine(
        args, {std::cout, STDOUT_FILENO, std::cerr, isatty(STDERR_FILENO) == 1, STDIN_FILENO});
}
