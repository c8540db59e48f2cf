#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "TestFiles.h"
#include "report/ReportCleanup.h"
#include "report/ReportFile.h"

namespace kestrin {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

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
    return lstat(path.c_str(), &info) == 0 ? info.st_mode : 0;
}

// Opens `path` as the report and writes kNew into it: 0 or the errno of the first failure.
int Write(ReportFile& file, const std::string& path, std::span<const struct stat> logs = {}) {
    if (int error = file.Open(path, logs); error != 0) return error;
    return write(file.Descriptor(), kNew.data(), kNew.size()) == ssize_t(kNew.size()) ? 0 : errno;
}

TEST(ReportFile, PreviousReportStaysUntilCommitAndLendsItsMode) {
    TempDir dir;
    const std::string report = dir / "report.dat";
    for (bool commit : {false, true}) {
        WriteFile(report, kOld);
        chmod(report.c_str(), 0640);
        {
            ReportFile file;
            ASSERT_EQ(Write(file, report), 0);
            std::vector<std::string> names = Names(dir.Path());
            ASSERT_EQ(names.size(), 2u);  // the temporary file sorts first: its name has a dot
            EXPECT_EQ(Mode(dir / names[0]), S_IFREG | 0600);
            EXPECT_EQ(ReadFile(report), kOld);
            EXPECT_EQ(commit ? file.Commit() : 0, 0);
        }
        EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"report.dat"});
        EXPECT_EQ(ReadFile(report), commit ? kNew : kOld);
        EXPECT_EQ(Mode(report), S_IFREG | 0640);
    }
    const mode_t mask = umask(027);
    ReportFile file;
    EXPECT_EQ(Write(file, dir / "new.dat"), 0);
    EXPECT_EQ(file.Commit(), 0);
    umask(mask);
    EXPECT_EQ(Mode(dir / "new.dat"), S_IFREG | 0640);
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
        EXPECT_EQ(Write(file, dir / link), 0);
        EXPECT_EQ(file.Commit(), 0);
    }
    EXPECT_EQ(ReadFile(dir / "real.dat") + ReadFile(dir / "fresh.dat"), kNew + kNew);
    for (const char* link : {"outer", "sub/inner", "dangling"})
        EXPECT_TRUE(S_ISLNK(Mode(dir / link))) << link;

    WriteFile(dir / "log", kOld);
    link((dir / "log").c_str(), (dir / "hard").c_str());
    symlink("log", (dir / "soft").c_str());
    struct stat logs[2]{};
    stat((dir / "real.dat").c_str(), &logs[0]);
    stat((dir / "log").c_str(), &logs[1]);
    for (const char* name : {"log", "hard", "soft", "outer"}) {
        ReportFile file;
        EXPECT_EQ(Write(file, dir / name, logs), ETXTBSY) << name;
    }
    EXPECT_EQ(ReadFile(dir / "log"), kOld);
    EXPECT_EQ(Names(dir.Path()).size(), 8u);
}

TEST(ReportFile, OtherTargetsAreWrittenThrough) {
    TempDir dir;
    const std::string fifo = dir / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ReportFile file;
    EXPECT_EQ(Write(file, fifo), ENXIO);  // nobody reads it: no waiting
    int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK), ends[2];
    ASSERT_EQ(pipe(ends), 0);
    // A FIFO, and a pipe by its descriptor's name, whose link reads as no path.
    for (auto [path, from] :
         {std::pair{fifo, reader}, std::pair{"/dev/fd/" + std::to_string(ends[1]), ends[0]}}) {
        ASSERT_EQ(Write(file, path), 0) << path;
        EXPECT_TRUE(file.WritesThrough());
        EXPECT_EQ(file.Commit(), 0);
        std::string got(256, '\0');
        got.resize(std::size_t(std::max<ssize_t>(0, read(from, got.data(), got.size()))));
        EXPECT_EQ(got, kNew);
    }
    EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"fifo"});
    for (int fd : {reader, ends[0], ends[1]}) close(fd);
    EXPECT_EQ(Write(file, "/dev/full"), ENOSPC);
}

TEST(ReportFile, EndingSignalsRemoveTheTemporaryReport) {
    TempDir dir;
    const std::string report = dir / "report.dat";
    WriteFile(report, kOld);
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        pid_t child = fork();
        if (child == 0) {
            for (int each : {SIGTERM, SIGINT, SIGHUP}) ::signal(each, SIG_DFL);
            InstallReportCleanupOnSignals();
            ReportFile file;
            if (Write(file, report) != 0 || write(ready[1], "!", 1) != 1) _exit(1);
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
