#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "ReportWriter.h"
#include "RunFixture.h"

namespace kestrin {
namespace {

using namespace testing;
namespace fs = std::filesystem;
class MendedFaults : public RunFixture {};

TEST_F(MendedFaults, LongLinesAndNulRunsNeverEndTheLog) {
    std::string kana;
    for (int i = 0; i < 1500; ++i) kana += "\x82\xa0";
    const std::string log = "http://a.jp/\n" + std::string(5000, 'x') + " http://b.jp/ y\r\n" +
                            kana + " http://c.jp/\r" + std::string(5000, '\0') + "\nhttp://d.jp/";
    EXPECT_EQ(Run(RequestFor(log)), CompletedRun(savePath));
    EXPECT_EQ(ReadFile(savePath),
              "http://a.jp/\t 1\r\nhttp://b.jp/\t 1\r\nhttp://c.jp/\t 1\r\nhttp://d.jp/\t 1\r\n");
}

TEST_F(MendedFaults, EveryDistinctUrlIsListed) {
    std::string log, listing;
    for (int i = 0; i < 20000; ++i) {
        char url[32];
        std::snprintf(url, sizeof url, "http://u%05d", i);
        log.insert(0, std::string(url) + "\n");  // the last first: the table must sort
        listing += std::string(url) + "\t 1\r\n";
    }
    Run(RequestFor(log));
    EXPECT_TRUE(ReadFile(savePath) == listing) << "the report is not the 20000 URLs in order";
}

TEST_F(MendedFaults, CountsBeyond32Bits) {
    int fd = memfd_create("report", 0);
    ReportWriter report(fd);
    report.WriteEntry("http://a", 5000000000u);
    report.WriteEntry("http://b", UINT64_MAX);
    ASSERT_TRUE(report.Flush());
    std::string bytes(64, '\0');
    bytes.resize(std::size_t(pread(fd, bytes.data(), bytes.size(), 0)));
    close(fd);
    EXPECT_EQ(bytes, "http://a\t 5000000000\r\nhttp://b\t 18446744073709551615\r\n");
}

TEST_F(MendedFaults, ReportHoldsTheBytesOfTheLog) {
    Run(RequestFor(
        "http://\xb1 x\r\nhttp://\x85\x40\nhttp://\x80\nhttp://\xe0\x40\nhttp://\x85\x40"));
    EXPECT_EQ(
        ReadFile(savePath),
        "http://\xe0\x40\t 1\r\nhttp://\x80\t 1\r\nhttp://\x85\x40\t 2\r\nhttp://\xb1\t 1\r\n");
}

TEST_F(MendedFaults, FullDiskIsCantFileSave) {
    RunRequest request = RequestFor("http://a.jp/\n");
    request.savePath = "/dev/full";
    EXPECT_EQ(Run(request, true), FailedRun("error", "Can't File Save!\r/dev/full"));
    request = RequestFor("");  // nothing to write until the banner
    request.savePath = "/dev/full";
    EXPECT_EQ(Run(request, true),
              (std::vector<std::string>{"EnterBusy", "Confirm Sortting Data Output?",
                                        "ERROR! error Can't File Save!\r/dev/full", "LeaveBusy"}));
}

TEST_F(MendedFaults, NoNameOfTheLogIsOverwritten) {
    const std::string log = "http://a.jp/\n";
    RequestFor(log);
    fs::create_symlink(logPath, dir / "symlink.log");
    fs::create_hard_link(logPath, dir / "hardlink.log");
    for (const std::string& save : {logPath, dir / "./access.log", fs::relative(logPath).string(),
                                    dir / "symlink.log", dir / "hardlink.log"}) {
        RunRequest request = RequestFor(log);
        request.savePath = save;
        EXPECT_EQ(Run(request), FailedRun("error", "Can't File Save!\r" + save)) << save;
        EXPECT_EQ(ReadFile(logPath), log) << save;
    }
}

TEST_F(MendedFaults, OnlyOrdinaryFilesAreLogs) {
    RequestFor("http://a.jp/\n");
    fs::create_directory(dir / ".d");
    mkfifo((dir / "fifo").c_str(), 0600);
    fs::copy_file(logPath, dir / ".hidden.log");
    fs::copy_file(logPath, dir / ".d/visible.log");
    fs::create_symlink(logPath, dir / ".link");
    fs::create_symlink(dir / ".hidden.log", dir / "link-to-hidden");
    for (const std::string& log :
         {dir / ".d", dir / "fifo", dir / ".hidden.log", dir / ".link", std::string("/dev/null")}) {
        RunRequest request = RequestFor("");
        request.logPath = log;
        EXPECT_EQ(Run(request), FailedRun("error", "File Not Found!\r" + log)) << log;
        EXPECT_NE(access(savePath.c_str(), F_OK), 0) << log;
    }
    // Hidden is the file's own name, not its directory's nor its link target's.
    for (const std::string& log : {dir / ".d/visible.log", dir / "link-to-hidden"}) {
        RunRequest request = RequestFor("");
        request.logPath = log;
        EXPECT_EQ(Run(request), CompletedRun(savePath)) << log;
        EXPECT_EQ(ReadFile(savePath), "http://a.jp/\t 1\r\n") << log;
        std::remove(savePath.c_str());
    }
}

}  // namespace
}  // namespace kestrin
