#include "os/win32/CommandLine.h"

namespace kestrin::os::win32 {
namespace {

bool IsBlank(wchar_t unit) {
    return unit == L' ' || unit == L'\t';
}

// The program's name, a path: its backslashes are its own, and it holds no quote.
std::wstring ProgramName(std::wstring_view line, std::size_t& at) {
    std::wstring name;
    bool quoted = false;
    for (; at < line.size() && (quoted || !IsBlank(line[at])); ++at) {
        if (line[at] == L'"')
            quoted = !quoted;
        else
            name += line[at];
    }
    return name;
}

std::wstring NextArgument(std::wstring_view line, std::size_t& at) {
    std::wstring argument;
    bool quoted = false;
    while (at < line.size() && (quoted || !IsBlank(line[at]))) {
        std::size_t backslashes = 0;
        for (; at < line.size() && line[at] == L'\\'; ++at) ++backslashes;
        if (at == line.size() || line[at] != L'"') {
            argument.append(backslashes, L'\\');
            if (at < line.size() && (quoted || !IsBlank(line[at]))) argument += line[at++];
            continue;
        }
        argument.append(backslashes / 2, L'\\');
        if (backslashes % 2 == 1) {
            argument += L'"';
        } else if (quoted && at + 1 < line.size() && line[at + 1] == L'"') {
            argument += L'"';
            ++at;
        } else {
            quoted = !quoted;
        }
        ++at;
    }
    return argument;
}

}  // namespace

std::vector<std::wstring> SplitCommandLine(std::wstring_view line) {
    std::size_t at = 0;
    std::vector<std::wstring> arguments{ProgramName(line, at)};
    for (;;) {
        while (at < line.size() && IsBlank(line[at])) ++at;
        if (at == line.size()) return arguments;
        arguments.push_back(NextArgument(line, at));
    }
}

}  // namespace kestrin::os::win32
