// kestrin-cut for tests that read small logs in ranges: the first argument is the
// least size of a range in bytes, which no option of the shipped program sets; the
// rest are kestrin-cut's own.

#include <cstdio>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "os/StopSignals.h"
#include "os/Terminal.h"

int main(int argc, char** argv) {
    kestrin::os::PrepareStandardStreams();
    kestrin::os::HandleStopSignals();
    std::vector<std::string> args = kestrin::os::ProgramArguments(argc, argv);
    if (args.empty()) return 2;
    const kestrin::RunRequest defaults{.minimumRange = std::stoll(args.front())};
    args.erase(args.begin());
    kestrin::StandardSink out(stdout), err(stderr);
    return kestrin::RunCommandLine(args, {out, err}, defaults);
}
