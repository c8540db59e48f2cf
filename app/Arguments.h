#pragma once

#include <optional>
#include <span>
#include <string>

namespace kestrin {

/// What kestrin's arguments ask for. They are read before any window is made, so that
/// asking for the help or the version, or mistyping an option, works anywhere.
struct Arguments {
    enum class Action { OpenWindow, ShowHelp, ShowVersion, UsageError };
    Action action = Action::OpenWindow;
    /// The log named at the start, as given.
    std::optional<std::string> log;
    /// What is wrong, for a usage error.
    std::string problem;
};

/// Reads the arguments after the program's name. As in kestrin-cut, the first of
/// --help, --version or a mistake wins.
Arguments ParseArguments(std::span<const std::string> arguments);

/// What the program writes for each action but the window: the help and the version
/// on standard output, a usage error on standard error, with the exit status that
/// follows.
struct Said {
    std::string output;
    std::string error;
    int status = 0;
};
Said WhatToSay(const Arguments& arguments);

}  // namespace kestrin
