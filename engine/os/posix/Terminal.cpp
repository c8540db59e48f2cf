#include "os/Terminal.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrin::os {

StandardStreams ReadStandardStreams() {
    StandardStreams streams;
    if (fcntl(STDOUT_FILENO, F_GETFD) == -1 && errno == EBADF) {
        streams.outputClosed = true;
        const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (null >= 0 && null != STDOUT_FILENO) {
            dup2(null, STDOUT_FILENO);
            close(null);
        }
    }
    streams.inputIsTerminal = isatty(STDIN_FILENO) == 1;
    if (isatty(STDERR_FILENO) != 1) return streams;
    struct winsize size {};
    // A terminal that does not say its size is taken as the classic 80 columns.
    streams.errorColumns =
        ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
    return streams;
}

bool NamesErrorTerminal(const std::string& path) {
    struct stat error, named, own;
    if (isatty(STDERR_FILENO) != 1 || fstat(STDERR_FILENO, &error) != 0) return false;
    const int found = path == "-" ? fstat(STDOUT_FILENO, &named) : stat(path.c_str(), &named);
    if (found != 0 || !S_ISCHR(named.st_mode)) return false;
    // /dev/tty is the process's own terminal, taken for standard error's: where they
    // differ (2>/dev/pts/7), a bar is only left out that would have fitted.
    return named.st_rdev == error.st_rdev ||
           (stat("/dev/tty", &own) == 0 && named.st_rdev == own.st_rdev);
}

void PrepareStandardStreams() {}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    return std::vector<std::string>(argv + 1, argv + argc);
}

const char* EndOfInputKeys() {
    return "Ctrl+D";
}

std::vector<std::string> ExpandWildcards(const std::string& name) {
    return {name};
}

}  // namespace kestrin::os
