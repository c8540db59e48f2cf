#pragma once

// The real kestrin-cut in a child process, with its exit status and output,
// optionally as an unprivileged user or under limits.

#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "TestFiles.h"

namespace kestrin::testing {

/// Under AddressSanitizer (an unoptimized build, many times slower) the largest
/// inputs shrink by this factor: there they check memory safety, not scale.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr std::size_t kSanitizerShrink = 8;
#else
inline constexpr std::size_t kSanitizerShrink = 1;
#endif

/// For a child process: as root, become "nobody", so that file permissions apply.
inline void DropPrivileges() {
    if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
        _exit(126);
}

/// What a kestrin-cut process did.
struct CutResult {
    int status = -1;  // exit status, or 128 + signal
    std::string out, err;
};

/// Runs kestrin-cut with `args`; `before` runs in the child just before the
/// program starts (to drop privileges, set limits or redirect its output), and
/// `during` in the test while the program runs.
inline CutResult RunCut(const std::vector<std::string>& args,
                        const std::function<void()>& before = {},
                        const std::function<void(pid_t)>& during = {}) {
    TempDir dir;
    const std::string outPath = dir / "out", errPath = dir / "err";
    pid_t child = fork();
    if (child == 0) {
        if (!freopen(outPath.c_str(), "w", stdout) || !freopen(errPath.c_str(), "w", stderr))
            _exit(125);
        if (before) before();
        std::vector<char*> argv{const_cast<char*>(KESTRIN_CUT)};
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(KESTRIN_CUT, argv.data());
        _exit(127);
    }
    if (during) during(child);
    CutResult result;
    int status = 0;
    waitpid(child, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = ReadFile(outPath);
    result.err = ReadFile(errPath);
    return result;
}

}  // namespace kestrin::testing
