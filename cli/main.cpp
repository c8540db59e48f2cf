#include <iostream>

#include "CommandLine.h"
#include "os/StopSignals.h"
#include "os/Terminal.h"

int main(int argc, char** argv) {
    kestrin::os::PrepareStandardStreams();
    // The streams stay in step with the C library's (the report goes to its file
    // descriptor directly): out of step, each took a buffer of its own, and the
    // faults of a run of one line grew by six.
    // An interrupted run leaves the previous report and no temporary file.
    kestrin::os::HandleStopSignals();
    const kestrin::os::StandardStreams streams = kestrin::os::ReadStandardStreams();
    const std::vector<std::string> args = kestrin::os::ProgramArguments(argc, argv);
    return kestrin::RunCommandLine(
        args, {std::cout, std::cerr, streams.errorColumns, streams.outputSharesErrorTerminal,
               streams.outputClosed, streams.inputIsTerminal});
}
