#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "Processes.h"

namespace kestrin {
namespace {

using namespace testing;

const std::string kUsage =
    "usage: kestrin-cut [--keyword TEXT] [--ranked] [--codepage NAME] LOGFILE SAVEFILE\n";

TEST(CommandLine, OptionsMessagesReportsAndExitStatuses) {
    TempDir dir;
    const std::string log = dir / "access.log", save = dir / "report.txt";
    WriteFile(log, "x http://a.jp/x y\"z,w\nhttp://b.jp/\nhttp://b.jp/\n");
    const std::string no = "Confirm: Sortting Data Output? No\nComplete: " + save + " done..\n";
    const std::string b2 = "http://b.jp/\t 2\r\n", listing = "http://a.jp/x\t 1\r\n" + b2;
    const struct {
        std::vector<std::string> args;
        int status;
        std::string err, report;  // no report: none written
    } cases[] = {
        {{log, save}, 0, no, listing},
        {{"--keyword=\"", log, save}, 0, no, "http://a.jp/x y\t 1\r\n" + b2},
        {{"--keyword", ",", "--codepage", "windows-1252", log, save},
         0,
         no,
         "http://a.jp/x y\"z\t 1\r\n" + b2},
        {{"--ranked", log, save},
         0,
         "Confirm: Sortting Data Output? Yes\nComplete: " + save + " done..\n",
         listing + "*********** SORTTING DATA ************\r\n" + b2 + "http://a.jp/x\t 1\r\n"},
        {{"--keyword", "ab", log, save}, 1, "ERROR!: Back Keyword is not ASCII\n", ""},
        {{"--ranked", "--", "-", save}, 1, "ERROR!: File Not Found!\n-\n", ""},
        {{log}, 2, "kestrin-cut: name a LOGFILE and a SAVEFILE\n" + kUsage, ""},
        {{"--frobnicate", log, save}, 2, "kestrin-cut: unknown option --frobnicate\n" + kUsage, ""},
        {{log, save, "--keyword"}, 2, "kestrin-cut: --keyword needs a value\n" + kUsage, ""},
        {{"--ranked=yes", log, save}, 2, "kestrin-cut: --ranked takes no value\n" + kUsage, ""},
        {{"--codepage", "UTF-16", log, save},
         2,
         "kestrin-cut: not a code page of one- and two-byte characters: UTF-16\n" + kUsage,
         ""},
    };
    for (const auto& c : cases) {
        std::remove(save.c_str());
        std::ostringstream out, err;
        const int status = RunCommandLine(c.args, {out, -1, err, false});
        const std::string name = ::testing::PrintToString(c.args);
        EXPECT_EQ(std::tuple(status, err.str()), std::tuple(c.status, c.err)) << name;
        EXPECT_EQ(Exists(save) ? ReadFile(save) : "(none)", c.report.empty() ? "(none)" : c.report)
            << name;
    }
}

// The real program: the report on standard output, messages on standard error.
TEST(CommandLine, KestrinCutWritesTheReportToStandardOutput) {
    const std::string log = KESTRIN_TEST_DATA "/apache_access.log";
    const CutResult done = RunCut({"--ranked", "--keyword", "\"", log, "-"});
    EXPECT_EQ(done.status, 0);
    EXPECT_EQ(done.err, "Confirm: Sortting Data Output? Yes\nComplete: - done..\n");
    EXPECT_TRUE(done.out == TestData("apache_access.ranked-report"));
    const CutResult full =
        RunCut({log, "-"}, [] { dup2(open("/dev/full", O_WRONLY), STDOUT_FILENO); });
    EXPECT_EQ(std::tuple(full.status, full.err), std::tuple(1, "ERROR!: Can't File Save!\n-\n"));
}

}  // namespace
}  // namespace kestrin
