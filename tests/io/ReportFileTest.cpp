#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "report/ReportCleanup.h"
#include "report/ReportFile.h"

namespace kestrin {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

constexpr std::span<const struct stat> kNoLogs;
const std::string kOld = "old report\r\n", kNew = "new report, longer than the old\r\n";

std::vector<std::string> Names(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

mode_t Mode(const std::string& path) {
    struct stat info {};
    lstat(path.c_str(), &info);
    return info.st_mode;
}

bool WriteAll(int fd, const std::string& bytes) {
    return write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size());
}

TEST(ReportFile, PreviousReportStaysUntilCommitAndKeepsItsMode) {
    TempDir dir;
    const std::string report = dir / "report.dat";
    for (bool commit : {false, true}) {
        SCOPED_TRACE(commit ? "committed" : "dropped");
        WriteFile(report, kOld);
        chmod(report.c_str(), 0640);
        {
            ReportFile file;
            ASSERT_EQ(file.Open(report, kNoLogs), 0);
            ASSERT_FALSE(file.WritesThrough());
            ASSERT_TRUE(WriteAll(file.Descriptor(), kNew));
            std::vector<std::string> names = Names(dir.Path());
            ASSERT_EQ(names.size(), 2u);
            EXPECT_EQ(Mode(dir / names[0]) & 07777, 0600u) << names[0];
            EXPECT_EQ(ReadFile(report), kOld);
            if (commit) {
                EXPECT_EQ(file.Commit(), 0);
            }
        }
        EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"report.dat"});
        EXPECT_EQ(ReadFile(report), commit ? kNew : kOld);
        EXPECT_EQ(Mode(report), S_IFREG | 0640);
    }
    // A new report gets the mode any new file would.
    const mode_t mask = umask(027);
    ReportFile file;
    ASSERT_EQ(file.Open(dir / "new.dat", kNoLogs), 0);
    ASSERT_TRUE(WriteAll(file.Descriptor(), kNew));
    EXPECT_EQ(file.Commit(), 0);
    umask(mask);
    EXPECT_EQ(Mode(dir / "new.dat"), S_IFREG | 0640);
    EXPECT_EQ(ReadFile(dir / "new.dat"), kNew);
}

TEST(ReportFile, LinksLeadToTheFileReplacedButNeverToALog) {
    TempDir dir;
    std::filesystem::create_directory(dir / "sub");
    WriteFile(dir / "real.dat", kOld);
    symlink("../real.dat", (dir / "sub/inner").c_str());  // relative to its own directory
    symlink((dir / "sub/inner").c_str(), (dir / "outer").c_str());
    symlink("fresh.dat", (dir / "dangling").c_str());
    for (const char* link : {"outer", "dangling"}) {
        ReportFile file;
        ASSERT_EQ(file.Open(dir / link, kNoLogs), 0) << link;
        ASSERT_TRUE(WriteAll(file.Descriptor(), kNew));
        EXPECT_EQ(file.Commit(), 0);
    }
    EXPECT_EQ(ReadFile(dir / "real.dat"), kNew);
    EXPECT_EQ(ReadFile(dir / "fresh.dat"), kNew);
    for (const char* link : {"outer", "sub/inner", "dangling"})
        EXPECT_TRUE(S_ISLNK(Mode(dir / link))) << link;

    // The log, by a link or by a second name, is never opened for the report.
    WriteFile(dir / "log", kOld);
    link((dir / "log").c_str(), (dir / "hard").c_str());
    symlink("log", (dir / "soft").c_str());
    struct stat logs[2]{};
    stat((dir / "real.dat").c_str(), &logs[0]);
    stat((dir / "log").c_str(), &logs[1]);
    for (const char* name : {"log", "hard", "soft", "outer"}) {
        ReportFile file;
        EXPECT_EQ(file.Open(dir / name, logs), ETXTBSY) << name;
    }
    EXPECT_EQ(ReadFile(dir / "log"), kOld);
    EXPECT_EQ(Names(dir.Path()).size(), 8u);
}

TEST(ReportFile, OtherTargetsAreWrittenThrough) {
    TempDir dir;
    const std::string fifo = dir / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ReportFile file;
    EXPECT_EQ(file.Open(fifo, kNoLogs), ENXIO);  // nobody reads it: fails at once

    int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    // A FIFO, and a pipe by its descriptor's name, whose link reads as no path.
    for (auto [path, readEnd] :
         {std::pair{fifo, reader}, std::pair{"/dev/fd/" + std::to_string(ends[1]), ends[0]}}) {
        ASSERT_EQ(file.Open(path, kNoLogs), 0) << path;
        EXPECT_TRUE(file.WritesThrough());
        ASSERT_TRUE(WriteAll(file.Descriptor(), kNew));
        EXPECT_EQ(file.Commit(), 0);
        char got[256];
        EXPECT_EQ(std::string(got, std::size_t(std::max<ssize_t>(0, read(readEnd, got, 256)))),
                  kNew);
    }
    EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"fifo"});
    for (int fd : {reader, ends[0], ends[1]}) close(fd);

    ASSERT_EQ(file.Open("/dev/full", kNoLogs), 0);
    EXPECT_TRUE(file.WritesThrough());
    EXPECT_FALSE(WriteAll(file.Descriptor(), kNew));
    EXPECT_EQ(errno, ENOSPC);
}

TEST(ReportFile, EndingSignalsRemoveTheTemporaryReport) {
    TempDir dir;
    const std::string report = dir / "report.dat";
    WriteFile(report, kOld);
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(strsignal(signal));
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        pid_t child = fork();
        if (child == 0) {
            for (int each : {SIGTERM, SIGINT, SIGHUP}) ::signal(each, SIG_DFL);
            InstallReportCleanupOnSignals();
            ReportFile file;
            if (file.Open(report, kNoLogs) != 0 || !WriteAll(file.Descriptor(), kNew)) _exit(1);
            if (write(ready[1], "!", 1) != 1) _exit(1);
            for (;;) pause();
        }
        close(ready[1]);
        char byte;
        ASSERT_EQ(read(ready[0], &byte, 1), 1);
        close(ready[0]);
        EXPECT_EQ(Names(dir.Path()).size(), 2u);  // the report and its temporary file
        kill(child, signal);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
        EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"report.dat"});
        EXPECT_EQ(ReadFile(report), kOld);
    }
}

}  // namespace
}  // namespace kestrin
