#pragma once

// What the hostile and fault tests share: a scratch directory that cleans up after
// itself, a Ui that records every call, and ways to run the engine or the
// kestrin-cut binary (optionally as an unprivileged user, in a child process).

#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "CuttingRun.h"

namespace kestrin::hostile {

inline constexpr uid_t kNobody = 65534;

/// Under AddressSanitizer (an unoptimized build, many times slower) the largest
/// logs shrink by this factor: there they check memory safety, not scale.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr std::size_t kSanitizerShrink = 8;
#else
inline constexpr std::size_t kSanitizerShrink = 1;
#endif
inline constexpr const char* kBanner = "*********** SORTTING DATA ************\r\n";

/// A fresh directory under the system's temporary directory, removed with all it
/// holds when the test ends; open to every user, for tests that drop privileges.
class ScratchDir {
  public:
    ScratchDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "kestrin-hostile-XXXXXX");
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
        chmod(path_.c_str(), 0777);
    }
    ~ScratchDir() {
        // Restore write permission on what a test made read-only, then remove it all.
        std::error_code ignored;
        for (auto& entry : std::filesystem::recursive_directory_iterator(path_, ignored)) {
            if (entry.is_directory(ignored) && !entry.is_symlink(ignored))
                chmod(entry.path().c_str(), 0777);
        }
        std::filesystem::remove_all(path_, ignored);
    }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

inline bool Exists(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

/// Records the Ui calls of a run as text, one string per call.
class RecordingUi : public Ui {
  public:
    explicit RecordingUi(bool yes = false) : yes_(yes) {}
    void EnterBusy() override { calls.push_back("EnterBusy"); }
    void ShowMessage(const std::string& text, const std::string& title, MessageIcon icon) override {
        static const char* kIcons[] = {"error", "warning", "information"};
        calls.push_back("ShowMessage " + title + " (" + kIcons[int(icon)] + ") " + text);
    }
    bool AskYesNo(const std::string& text, const std::string& title) override {
        calls.push_back("AskYesNo " + title + " " + text);
        return yes_;
    }
    void LeaveBusy() override { calls.push_back("LeaveBusy"); }
    void ShowProgress(std::int64_t bytesRead, std::int64_t logSize) override {
        if (onProgress) onProgress(bytesRead, logSize);
    }

    std::vector<std::string> calls;
    std::function<void(std::int64_t, std::int64_t)> onProgress;

  private:
    bool yes_;
};

/// The calls of a run that failed with `message` (an "ERROR!" with the error icon).
inline std::vector<std::string> FailedWith(const std::string& message) {
    return {"EnterBusy", "ShowMessage ERROR! (error) " + message, "LeaveBusy"};
}

/// The calls of a run that asked the question and then failed with `message`.
inline std::vector<std::string> FailedAfterQuestion(const std::string& message) {
    return {"EnterBusy", "AskYesNo Confirm Sortting Data Output?",
            "ShowMessage ERROR! (error) " + message, "LeaveBusy"};
}

/// The calls of a run that completed, writing to `savePath`.
inline std::vector<std::string> Completed(const std::string& savePath) {
    return {"EnterBusy", "AskYesNo Confirm Sortting Data Output?",
            "ShowMessage Complete (information) " + savePath + " done..", "LeaveBusy"};
}

inline RunRequest Request(const std::string& logPath, const std::string& savePath,
                          const std::string& codePage = "CP932") {
    RunRequest request;
    request.logPath = logPath;
    request.savePath = savePath;
    request.codePage = codePage;
    return request;
}

/// Runs the engine on `request` and returns the Ui calls.
inline std::vector<std::string> RunEngine(const RunRequest& request, bool yes = false) {
    UrlTable table;
    RecordingUi ui(yes);
    CuttingRun(request, ui, table);
    return ui.calls;
}

/// For a child process: as root, become the unprivileged user "nobody" (with no
/// supplementary groups), so that file permissions apply; otherwise stay as is.
inline void DropPrivileges() {
    if (geteuid() != 0) return;
    if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(126);
}

/// Runs the engine on `request` in a child process that has dropped root's
/// privileges (see DropPrivileges) and returns the Ui calls it made.
inline std::vector<std::string> RunEngineUnprivileged(const RunRequest& request, bool yes = false) {
    int ends[2];
    if (pipe(ends) != 0) throw std::runtime_error("pipe failed");
    pid_t child = fork();
    if (child == 0) {
        close(ends[0]);
        DropPrivileges();
        std::string joined;
        for (const std::string& call : RunEngine(request, yes)) joined += call + '\0';
        ssize_t wrote = write(ends[1], joined.data(), joined.size());
        _exit(wrote == ssize_t(joined.size()) ? 0 : 1);
    }
    close(ends[1]);
    std::string joined;
    char chunk[4096];
    for (ssize_t got; (got = read(ends[0], chunk, sizeof chunk)) > 0;)
        joined.append(chunk, std::size_t(got));
    close(ends[0]);
    int status = 0;
    waitpid(child, &status, 0);
    std::vector<std::string> calls;
    for (std::size_t at = 0, end; (end = joined.find('\0', at)) != std::string::npos; at = end + 1)
        calls.push_back(joined.substr(at, end - at));
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) calls.push_back("(child failed)");
    return calls;
}

/// What a kestrin-cut process did.
struct CutResult {
    int status = -1;         // exit status, or 128 + signal
    std::string err;         // standard error
    long peakKilobytes = 0;  // the process's peak resident memory
};

/// Runs kestrin-cut with `args` in a child process; `before` runs in the child
/// before the program starts (to drop privileges or set limits).
inline CutResult RunCut(const std::vector<std::string>& args,
                        const std::function<void()>& before = {}) {
    char errPath[] = "/tmp/kestrin-cut-err-XXXXXX";
    int errFd = mkstemp(errPath);
    if (errFd < 0) throw std::runtime_error("mkstemp failed");
    unlink(errPath);
    pid_t child = fork();
    if (child == 0) {
        dup2(errFd, STDERR_FILENO);
        int devNull = open("/dev/null", O_WRONLY);
        dup2(devNull, STDOUT_FILENO);
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
    lseek(errFd, 0, SEEK_SET);
    char chunk[4096];
    for (ssize_t got; (got = read(errFd, chunk, sizeof chunk)) > 0;)
        result.err.append(chunk, std::size_t(got));
    close(errFd);
    return result;
}

/// For the child of RunCut: measure the program, not AddressSanitizer's quarantine
/// of freed blocks (ignored by a build without it).
inline void WithoutQuarantine() {
    std::string options = getenv("ASAN_OPTIONS") ? getenv("ASAN_OPTIONS") : "";
    setenv("ASAN_OPTIONS", (options + ":quarantine_size_mb=0").c_str(), 1);
}

}  // namespace kestrin::hostile
