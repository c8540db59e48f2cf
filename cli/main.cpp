#include <cstdio>

#include "CommandLine.h"
#include "os/StopSignals.h"
#include "os/Terminal.h"

int main(int argc, char** argv) {
    kestrin::os::PrepareStandardStreams();
    // An interrupted run leaves the previous report and no temporary file.
    kestrin::os::HandleStopSignals();
    const kestrin::os::StandardStreams streams = kestrin::os::ReadStandardStreams();
    const std::vector<std::string> args = kestrin::os::ProgramArguments(argc, argv);
    kestrin::StandardSink out(stdout), err(stderr);
    return kestrin::RunCommandLine(
        args, {out, err, streams.errorColumns, streams.outputClosed, streams.inputIsTerminal,
               kestrin::os::NamesErrorTerminal});
}
