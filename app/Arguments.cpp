#include "Arguments.h"

#include <string_view>
#include <utility>
#include <vector>

#include "Version.h"

namespace kestrin {
namespace {

constexpr const char* kHelp =
    "usage: kestrin [LOGFILE]\n"
    "\n"
    "Opens the window that tallies the first http:// URL of every line of a log and\n"
    "writes each distinct URL with its count. LOGFILE names the log at the start, as\n"
    "a file dropped on the window does. kestrin-cut does the same from a terminal.\n"
    "\n"
    "  -h, --help            this text\n"
    "  -V, -v, --version     the version\n"
    "  --                    ends the options: the argument after it is the LOGFILE\n"
    "\n"
    "Exit status: 0 once the window is closed, 1 when it cannot be opened, 2 usage\n"
    "error.\n";

Arguments Only(Arguments::Action action, std::string problem = {}) {
    Arguments arguments;
    arguments.action = action;
    arguments.problem = std::move(problem);
    return arguments;
}

}  // namespace

Arguments ParseArguments(std::span<const std::string> given) {
    using Action = Arguments::Action;
    Arguments arguments;
    std::vector<std::string> logs;
    bool optionsEnded = false;
    for (const std::string_view arg : given) {
        if (optionsEnded || arg == "-" || !arg.starts_with('-')) {
            logs.emplace_back(arg);
            continue;
        }
        const std::string_view name =
            arg.substr(0, arg.starts_with("--") ? arg.find('=') : arg.npos);
        const bool known = name == "-h" || name == "--help" || name == "-V" || name == "-v" ||
                           name == "--version" || name == "--";
        if (!known) return Only(Action::UsageError, "unknown option " + std::string(name));
        if (name.size() != arg.size())
            return Only(Action::UsageError, std::string(name) + " takes no value");
        if (name == "--") {
            optionsEnded = true;
        } else if (name == "-h" || name == "--help") {
            return Only(Action::ShowHelp);
        } else {
            return Only(Action::ShowVersion);
        }
    }
    if (logs.size() > 1) return Only(Action::UsageError, "one LOGFILE at most");
    if (!logs.empty()) arguments.log = logs.front();
    return arguments;
}

Said WhatToSay(const Arguments& arguments) {
    switch (arguments.action) {
        case Arguments::Action::ShowHelp:
            return {kHelp, "", 0};
        case Arguments::Action::ShowVersion:
            return {std::string("kestrin ") + kVersion + "\n", "", 0};
        case Arguments::Action::UsageError:
            return {"", "kestrin: " + arguments.problem + "\nTry 'kestrin --help'.\n", 2};
        case Arguments::Action::OpenWindow:
            break;
    }
    return {};
}

}  // namespace kestrin
