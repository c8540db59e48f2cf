#pragma once

// The real kestrin-cut in a child process, with its exit status, output and peak
// memory, optionally as an unprivileged user or under limits.

#include <fcntl.h>
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

/// For a child process: as root, become the user "nobody" with no supplementary
/// groups, so that file permissions apply.
inline void DropPrivileges() {
    constexpr uid_t kNobody = 65534;
    if (geteuid() != 0) return;
    if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(126);
}

/// What a kestrin-cut process did.
struct CutResult {
    int status = -1;  // exit status, or 128 + signal
    std::string out, err;
    long peakKilobytes = 0;  // peak resident memory, from the kernel's accounting
};

/// Runs kestrin-cut with `args`; `before` runs in the child just before the
/// program starts (to drop privileges, set limits or redirect its output).
inline CutResult RunCut(const std::vector<std::string>& args,
                        const std::function<void()>& before = {}) {
    const std::string dir = std::filesystem::temp_directory_path().string();
    std::string outPath = dir + "/kestrin-out-XXXXXX", errPath = dir + "/kestrin-err-XXXXXX";
    const int outFd = mkstemp(outPath.data()), errFd = mkstemp(errPath.data());
    if (outFd < 0 || errFd < 0) throw std::runtime_error("mkstemp failed");
    pid_t child = fork();
    if (child == 0) {
        dup2(outFd, STDOUT_FILENO);
        dup2(errFd, STDERR_FILENO);
        if (before) before();
        std::vector<char*> argv{const_cast<char*>(KESTRIN_CUT)};
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(KESTRIN_CUT, argv.data());
        _exit(127);
    }
    CutResult result;
    int status = 0;
    struct rusage usage {};
    wait4(child, &status, 0, &usage);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.peakKilobytes = usage.ru_maxrss;
    for (auto [fd, text] : {std::pair{outFd, &result.out}, std::pair{errFd, &result.err}}) {
        lseek(fd, 0, SEEK_SET);
        char chunk[4096];
        for (ssize_t got; (got = read(fd, chunk, sizeof chunk)) > 0;)
            text->append(chunk, std::size_t(got));
        close(fd);
    }
    unlink(outPath.c_str());  // only now: a report must keep its name to be complete
    unlink(errPath.c_str());
    return result;
}

/// For the child of RunCut: measure the program, not AddressSanitizer's quarantine
/// of freed blocks (ignored by a build without it).
inline void WithoutQuarantine() {
    std::string options = getenv("ASAN_OPTIONS") ? getenv("ASAN_OPTIONS") : "";
    setenv("ASAN_OPTIONS", (options + ":quarantine_size_mb=0").c_str(), 1);
}

}  // namespace kestrin::testing
