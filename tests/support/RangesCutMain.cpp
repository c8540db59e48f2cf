// kestrin-cut for tests that read small logs in ranges: the first argument is the
// least size of a range in bytes, which no option of the shipped program sets; the
// rest are kestrin-cut's own.

#include <iostream>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "os/StopSignals.h"
#include "os/Terminal.h"

int main(int argc, char** argv) {
    kestrin::os::PrepareStandardStreams();
    std::ios::sync_with_stdio(false);
    kestrin::os::HandleStopSignals();
    std::vector<std::string> args = kestrin::os::ProgramArguments(argc, argv);
    if (args.empty()) return 2;
    const kestrin::RunRequest defaults{.minimumRange = std::stoll(args.front())};
    args.erase(args.begin());
    return kestrin::RunCommandLine(args, {std::cout, std::cerr}, defaults);
}
