#include "os/Terminal.h"

// windows.h first: the other headers of Windows build on it.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string_view>

#include "os/win32/CommandLine.h"
#include "os/win32/ConsoleCodePage.h"
#include "os/win32/WideText.h"

namespace kestrin::os {
namespace {

std::atomic<UINT> consoleCodePageFound{0};

}  // namespace

void win32::ShowUtf8OnConsole() {
    const UINT found = GetConsoleOutputCP();  // 0 without a console
    if (found == 0 || found == CP_UTF8 || !SetConsoleOutputCP(CP_UTF8)) return;
    consoleCodePageFound.store(found);
    std::atexit(RestoreConsoleCodePage);
}

void win32::RestoreConsoleCodePage() {
    if (const UINT found = consoleCodePageFound.exchange(0)) SetConsoleOutputCP(found);
}

StandardStreams ReadStandardStreams() {
    StandardStreams streams;
    // Windows gives no handle to a stream the parent closed, and reuses none.
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    streams.outputClosed = output == nullptr || output == INVALID_HANDLE_VALUE;
    DWORD inputMode = 0;
    streams.inputIsTerminal = GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &inputMode) != 0;
    CONSOLE_SCREEN_BUFFER_INFO error;
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &error)) return streams;
    streams.errorColumns = error.srWindow.Right - error.srWindow.Left + 1;
    return streams;
}

bool NamesErrorTerminal(const std::string& path) {
    DWORD mode = 0;
    if (GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) == 0) return false;
    // A process has one console: standard output on a console is on this one. The
    // system reads its names (CON, con:, and before Windows 11 C:\dir\con.txt) as the
    // device \\.\CON; CONOUT$ may stay a name.
    if (path == "-") return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
    const std::wstring device = win32::SystemPath(path);
    return _wcsicmp(device.c_str(), L"\\\\.\\CON") == 0 ||
           _wcsicmp(device.c_str(), L"\\\\.\\CONOUT$") == 0 ||
           _stricmp(path.c_str(), "CONOUT$") == 0;
}

void PrepareStandardStreams() {
    // The C runtime opens them in text mode, which makes CR LF of LF on the way in
    // and LF of CR LF on the way out, and takes 0x1A for the end of the input.
    for (FILE* stream : {stdin, stdout, stderr}) _setmode(_fileno(stream), _O_BINARY);
    win32::ShowUtf8OnConsole();
}

std::vector<std::string> ProgramArguments(int, char**) {
    // The narrow arguments are in the ANSI code page, which may lack a character of
    // a file's name: the wide command line has them all. It is split here rather
    // than by shell32, whose loading (with user32 and gdi32) was half of what wine
    // took to start the program.
    const std::vector<std::wstring> wide = win32::SplitCommandLine(GetCommandLineW());
    std::vector<std::string> arguments;
    for (std::size_t i = 1; i < wide.size(); ++i)
        arguments.push_back(wide[i] == L"/?" ? "--help" : win32::Utf8(wide[i]));
    return arguments;
}

const char* EndOfInputKeys() {
    return "Ctrl+Z, Enter";
}

std::vector<std::string> ExpandWildcards(const std::string& name) {
    const std::size_t slash = name.find_last_of("\\/:");
    const std::size_t last = slash == std::string::npos ? 0 : slash + 1;
    if (name.find_first_of("*?", last) == std::string::npos) return {name};
    std::vector<std::string> found;
    WIN32_FIND_DATAW entry;
    const HANDLE search = FindFirstFileExW(win32::SystemPath(name).c_str(), FindExInfoBasic, &entry,
                                           FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) return {name};
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            found.push_back(name.substr(0, last) + win32::Utf8(entry.cFileName));
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    if (found.empty()) return {name};
    std::sort(found.begin(), found.end());
    return found;
}

}  // namespace kestrin::os
