#pragma once

#include <string>
#include <vector>

namespace kestrin::os {

/// The process's standard streams, as a command line needs to know them.
struct StandardStreams {
    /// Columns of the terminal standard error is, or 0 when it is none.
    int errorColumns = 0;
    /// True when standard output was closed: what the program writes there has
    /// nowhere to go.
    bool outputClosed = false;
    /// True when standard input is a terminal: a log read from it is typed there.
    bool inputIsTerminal = false;
};

/// Reads what a command line needs to know of its streams, before it opens any
/// file: a closed standard output is then taken by the null device, so that no
/// file opened later takes its place and gets what is written there.
StandardStreams ReadStandardStreams();

/// True when a report written to `path` ("-" being standard output) lands on the
/// terminal standard error is on (/dev/tty, /dev/stdout on it, CON), so that what
/// is drawn on standard error would mix with it.
bool NamesErrorTerminal(const std::string& path);

/// For a command line's main, first: the standard streams carry bytes as they are
/// (no line ends made over, no byte taken for the end of the input), and messages
/// in UTF-8 show as such on a console.
void PrepareStandardStreams();

/// The program's arguments in UTF-8, whatever the system passes them in. On
/// Windows "/?", its programs' way to ask for help, is "--help".
std::vector<std::string> ProgramArguments(int argc, char** argv);

/// The keys that end what is typed on a terminal as standard input.
const char* EndOfInputKeys();

/// The files a command line's argument of names stands for. Windows' shells leave
/// wildcards to the program: there a last part with * or ? stands for the files it
/// matches, in the order of their names (folders are no logs), and for itself when
/// it matches none, so that it is not found. Elsewhere the shell has expanded it:
/// a name is itself.
std::vector<std::string> ExpandWildcards(const std::string& name);

}  // namespace kestrin::os
