#pragma once

// kestrin-cut run in this process, or the real one in a child process, with its exit
// status and output, its standard input a file or a pipe, ended from outside as a
// user or the system ends it; on POSIX systems optionally as an unprivileged user or
// under limits. And the words it says, as the tests expect them.

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <grp.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "CommandLine.h"
#include "StringSink.h"
#include "TestFiles.h"

namespace kestrin::testing {

/// Under AddressSanitizer (an unoptimized build, many times slower) the largest
/// inputs shrink by this factor: there they check memory safety, not scale.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr std::size_t kSanitizerShrink = 8;
#else
inline constexpr std::size_t kSanitizerShrink = 1;
#endif

/// What a kestrin-cut process did.
struct CutResult {
    int status = -1;  // exit status: POSIX's, or 128 + signal; Windows' whole exit code
    std::string out, err;
    /// Bytes of Launch::piped the pipe took: all of them only when the program
    /// read its input to the end (or the pipe held the rest).
    std::size_t fed = 0;
};

/// kestrin-cut's messages: a run that ends in "Complete" after the question
/// answered `yes`, and one refused with `headline`, the path it concerns and why.
inline std::string Saved(const std::string& path, bool yes = false) {
    return std::string("Confirm: Sortting Data Output? ") + (yes ? "Yes" : "No") +
           "\nComplete: " + path + " done..\n";
}
inline std::string Refused(const std::string& headline, const std::string& path,
                           const std::string& reason) {
    return "ERROR!: " + headline + "\n" + path + "\nkestrin-cut: " + reason + "\n";
}

/// What kestrin-cut finds as it starts, for a run in this process.
struct Terminals {
    int errorColumns = 0;
    bool inputIsTerminal = false;
    bool (*namesErrorTerminal)(const std::string& path) = nullptr;
};

/// kestrin-cut run in this process, with `defaults` for what no option sets.
inline CutResult CutHere(const std::vector<std::string>& args, Terminals terminals = {},
                         const RunRequest& defaults = {}) {
    StringSink out, err;
    const int status = RunCommandLine(args,
                                      {out, err, terminals.errorColumns, false,
                                       terminals.inputIsTerminal, terminals.namesErrorTerminal},
                                      defaults);
    return {status, out.str(), err.str()};
}

/// Standard input from a file while it lives, as a shell's < gives it.
class InputFrom {
  public:
    explicit InputFrom(const std::string& path) {
#ifdef _WIN32
        saved_ = GetStdHandle(STD_INPUT_HANDLE);
        file_ = CreateFileW(Native(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, 0, nullptr);
        SetStdHandle(STD_INPUT_HANDLE, file_);
#else
        saved_ = dup(STDIN_FILENO);
        const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        dup2(file, STDIN_FILENO);
        close(file);
#endif
    }
    ~InputFrom() {
#ifdef _WIN32
        SetStdHandle(STD_INPUT_HANDLE, saved_);
        CloseHandle(file_);
#else
        dup2(saved_, STDIN_FILENO);
        close(saved_);
#endif
    }
    InputFrom(const InputFrom&) = delete;
    InputFrom& operator=(const InputFrom&) = delete;

  private:
#ifdef _WIN32
    HANDLE saved_, file_;
#else
    int saved_;
#endif
};

/// A running kestrin-cut.
struct Child {
#ifdef _WIN32
    HANDLE process;
    DWORD id;
#else
    pid_t id;
#endif
};

/// How kestrin-cut is started, besides its arguments.
struct Launch {
    /// Standard input: this file, or these bytes through a pipe, the first three a
    /// byte at a time so that a log's first bytes come in pieces (on POSIX systems
    /// each taken by the program before the next is written).
    std::string inputFile = {};
    std::optional<std::string> piped = {};
    /// The pipe stays open after the bytes, so that the program is still reading.
    bool keepPipeOpen = false;
    /// Runs in the test while the program runs.
    std::function<void(const Child&)> during = {};
    /// When above 0, a plain log is read in ranges of at least this many bytes.
    std::int64_t rangeBytes = 0;
#ifndef _WIN32
    /// Runs in the child just before the program starts: to drop privileges, set
    /// limits or redirect its output.
    std::function<void()> before = {};
#endif
};

/// One way to end a running program from outside, and the exit status it leaves.
struct Ending {
    std::string name;
    int how;  // POSIX: the signal; Windows: 0 for Ctrl+C, else TerminateProcess's code
    int status;
};

#ifdef _WIN32

/// The test itself outlives the Ctrl+C it sends to its child's console.
inline BOOL WINAPI IgnoreConsoleEvent(DWORD) {
    return TRUE;
}

/// Ctrl+C, as a user presses it in the program's console, and the Task Manager's end.
inline std::vector<Ending> Endings() {
    return {{"Ctrl+C", 0, int(0xC000013AU)}, {"TerminateProcess", 9, 9}};
}

inline void End(const Child& child, const Ending& ending) {
    if (ending.how != 0) {
        TerminateProcess(child.process, UINT(ending.how));
        return;
    }
    SetConsoleCtrlHandler(IgnoreConsoleEvent, TRUE);
    FreeConsole();
    if (AttachConsole(child.id)) {
        GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
        FreeConsole();
    }
}

/// Windows' rules for one argument of a command line: quoted when it holds a blank
/// or a quote, backslashes doubled before a quote.
inline std::wstring Quoted(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos)
        return argument;
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t unit : argument) {
        if (unit == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(unit == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        quoted += unit;
        backslashes = 0;
    }
    return quoted.append(2 * backslashes, L'\\') + L"\"";
}

inline HANDLE InheritedFile(const std::string& path, DWORD access, DWORD creation) {
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    return CreateFileW(path.empty() ? L"NUL" : Native(path).c_str(), access,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherited, creation,
                       0, nullptr);
}

/// Runs kestrin-cut with `args`. It has a console of its own without a window, so
/// that a Ctrl+C reaches it alone.
inline CutResult RunCut(const std::vector<std::string>& args, const Launch& launch = {}) {
    TempDir dir;
    const HANDLE out = InheritedFile(dir / "out", GENERIC_WRITE, CREATE_ALWAYS);
    const HANDLE err = InheritedFile(dir / "err", GENERIC_WRITE, CREATE_ALWAYS);
    HANDLE in = INVALID_HANDLE_VALUE, feed = INVALID_HANDLE_VALUE;
    if (launch.piped) {
        SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
        if (CreatePipe(&in, &feed, &inherited, 0))
            SetHandleInformation(feed, HANDLE_FLAG_INHERIT, 0);
    } else {
        in = InheritedFile(launch.inputFile, GENERIC_READ, OPEN_EXISTING);
    }
    std::wstring command = Quoted(Wide(launch.rangeBytes > 0 ? KESTRIN_CUT_RANGES : KESTRIN_CUT));
    if (launch.rangeBytes > 0) command += L" " + std::to_wstring(launch.rangeBytes);
    for (const std::string& arg : args) command += L" " + Quoted(Wide(arg));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION started{};
    const BOOL ok = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE,
                                   CREATE_NO_WINDOW, nullptr, nullptr, &startup, &started);
    for (const HANDLE handle : {in, out, err}) CloseHandle(handle);
    if (!ok) {
        CloseHandle(feed);
        throw std::runtime_error("cannot start " KESTRIN_CUT);
    }
    CloseHandle(started.hThread);
    std::thread feeder;
    std::size_t fed = 0;
    if (launch.piped) {
        feeder = std::thread([feed, &fed, bytes = *launch.piped, keep = launch.keepPipeOpen] {
            DWORD wrote = 0;
            for (std::size_t at = 0; at < bytes.size(); at += wrote, fed = at) {
                const DWORD size = at < 3 ? 1 : DWORD(bytes.size() - at);
                if (!::WriteFile(feed, bytes.data() + at, size, &wrote, nullptr)) break;
                if (at < 3) Sleep(2);
            }
            if (!keep) CloseHandle(feed);
        });
    }
    if (launch.during) launch.during(Child{started.hProcess, started.dwProcessId});
    WaitForSingleObject(started.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(started.hProcess, &code);
    CloseHandle(started.hProcess);
    if (feeder.joinable()) feeder.join();
    if (launch.piped && launch.keepPipeOpen) CloseHandle(feed);
    return {int(code), ReadFile(dir / "out"), ReadFile(dir / "err"), fed};
}

#else

/// For a child process: as root, become "nobody", so that file permissions apply.
inline void DropPrivileges() {
    if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
        _exit(126);
}

/// The ending signals, and a kill.
inline std::vector<Ending> Endings() {
    return {{"SIGTERM", SIGTERM, 128 + SIGTERM},
            {"SIGINT", SIGINT, 128 + SIGINT},
            {"SIGHUP", SIGHUP, 128 + SIGHUP},
            {"SIGKILL", SIGKILL, 128 + SIGKILL}};
}

inline void End(const Child& child, const Ending& ending) {
    kill(child.id, ending.how);
}

/// Waits (5 s at most) until the program has read all that is in the pipe `feed`:
/// a program still starting up would otherwise find the first bytes together.
inline void AwaitTaken(int feed) {
    int unread = 0;
    for (int tries = 0; tries < 5000 && ioctl(feed, FIONREAD, &unread) == 0 && unread > 0; ++tries)
        usleep(1000);
}

/// Writes `bytes` into the pipe `feed`, then closes it unless it is to stay open;
/// `fed` counts the bytes written. A program that ends first makes the write fail,
/// and no SIGPIPE end the test.
inline void Feed(int feed, const std::string& bytes, bool keepOpen, std::size_t& fed) {
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
    for (std::size_t at = 0; at < bytes.size(); fed = at) {
        const ssize_t wrote = write(feed, bytes.data() + at, at < 3 ? 1 : bytes.size() - at);
        if (wrote <= 0) break;
        if (at < 3) AwaitTaken(feed);
        at += std::size_t(wrote);
    }
    if (!keepOpen) close(feed);
}

/// Runs `body`, which ends by exec or _exit, in a child process started as `launch`
/// says: what the child did.
inline CutResult RunInChild(const std::function<void()>& body, const Launch& launch = {}) {
    TempDir dir;
    const std::string outPath = dir / "out", errPath = dir / "err";
    int feed[2] = {-1, -1};
    if (launch.piped && pipe2(feed, O_CLOEXEC) != 0) throw std::runtime_error("no pipe");
    const pid_t child = fork();
    if (child == 0) {
        if (!freopen(outPath.c_str(), "w", stdout) || !freopen(errPath.c_str(), "w", stderr))
            _exit(125);
        const int in = launch.piped               ? feed[0]
                       : launch.inputFile.empty() ? STDIN_FILENO
                                                  : open(launch.inputFile.c_str(), O_RDONLY);
        if (in < 0 || (in != STDIN_FILENO && dup2(in, STDIN_FILENO) < 0)) _exit(125);
        if (launch.before) launch.before();
        body();
        _exit(127);
    }
    std::thread feeder;
    std::size_t fed = 0;
    if (launch.piped) {
        close(feed[0]);
        feeder = std::thread(Feed, feed[1], *launch.piped, launch.keepPipeOpen, std::ref(fed));
    }
    if (launch.during) launch.during(Child{child});
    int status = 0;
    waitpid(child, &status, 0);
    if (feeder.joinable()) feeder.join();
    if (launch.piped && launch.keepPipeOpen) close(feed[1]);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), ReadFile(outPath),
            ReadFile(errPath), fed};
}

/// Runs kestrin-cut with `args`.
inline CutResult RunCut(const std::vector<std::string>& args, const Launch& launch = {}) {
    return RunInChild(
        [&] {
            const char* program = launch.rangeBytes > 0 ? KESTRIN_CUT_RANGES : KESTRIN_CUT;
            const std::string rangeBytes = std::to_string(launch.rangeBytes);
            std::vector<char*> argv{const_cast<char*>(program)};
            if (launch.rangeBytes > 0) argv.push_back(const_cast<char*>(rangeBytes.c_str()));
            for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
            argv.push_back(nullptr);
            execv(program, argv.data());
        },
        launch);
}

#endif

}  // namespace kestrin::testing
