#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
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

CutResult Cut(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    int status = RunCommandLine(args, {out, -1, err, false});
    return {status, out.str(), err.str()};
}

class CommandLine : public ::testing::Test {
  protected:
    void SetUp() override {
        WriteFile(log, "x http://a.jp/x y\"z,w\nhttp://b.jp/\nhttp://b.jp/\n");
    }

    TempDir dir;
    const std::string log = dir / "access.log", save = dir / "report.txt";
};

TEST_F(CommandLine, UsageErrorsExitWithTwo) {
    const std::string l = log, s = save, files = "name a LOGFILE and a SAVEFILE";
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{}, files},
        {{l, s, s}, files},
        {{"--", "--ranked", l, s}, files},
        {{"--frobnicate", l, s}, "unknown option --frobnicate"},
        {{l, s, "--keyword"}, "--keyword needs a value"},
        {{"--codepage", "no-such-page", l, s}, "unknown code page: no-such-page"},
        {{"--codepage=UTF-8", l, s}, "not a code page of one- and two-byte characters: UTF-8"},
        {{"--keyword", "\xff", l, s}, "the keyword is not UTF-8 text"},
    };
    for (const auto& [args, problem] : cases) {
        CutResult outcome = Cut(args);
        EXPECT_EQ(outcome.status, 2) << problem;
        EXPECT_EQ(outcome.err, "kestrin-cut: " + problem + "\n" + kUsage);
    }
    EXPECT_FALSE(Exists(save)) << "a usage error wrote a report";
    EXPECT_EQ(Cut({"--help"}).out.rfind(kUsage + "\n", 0), 0u);
    EXPECT_EQ(Cut({"--version"}).out, "kestrin-cut 0.3\n");
}

TEST_F(CommandLine, OptionsMessagesAndReports) {
    const std::string no = "Confirm: Sortting Data Output? No\nComplete: " + save + " done..\n";
    const std::string b2 = "http://b.jp/\t 2\r\n", listing = "http://a.jp/x\t 1\r\n" + b2;
    struct Case {
        std::vector<std::string> options;
        int status;
        std::string err, report;  // no report: none written
    };
    const Case cases[] = {
        {{}, 0, no, listing},
        {{"--keyword", "Space"}, 0, no, listing},
        {{"--keyword=\""}, 0, no, "http://a.jp/x y\t 1\r\n" + b2},
        {{"--keyword", ",", "--codepage", "windows-1252"},
         0,
         no,
         "http://a.jp/x y\"z\t 1\r\n" + b2},
        {{"--ranked"},
         0,
         "Confirm: Sortting Data Output? Yes\nComplete: " + save + " done..\n",
         listing + "*********** SORTTING DATA ************\r\n" + b2 + "http://a.jp/x\t 1\r\n"},
        {{"--keyword", "ab"}, 1, "ERROR!: Back Keyword is not ASCII\n", ""},
        {{"--ranked", "--", "-", save}, 1, "ERROR!: File Not Found!\n-\n", ""},
    };
    for (const Case& c : cases) {
        std::remove(save.c_str());
        std::vector<std::string> args = c.options;
        if (args.empty() || args.back() != save) args.insert(args.end(), {log, save});
        CutResult outcome = Cut(args);
        const std::string name = ::testing::PrintToString(args);
        EXPECT_EQ(outcome.status, c.status) << name;
        EXPECT_EQ(outcome.err, c.err) << name;
        EXPECT_EQ(ReadFile(save), c.report) << name;
        EXPECT_EQ(Exists(save), !c.report.empty()) << name;
    }
}

// The real program: the report on standard output, messages on standard error,
// and the exit status of each kind of outcome.
TEST(KestrinCut, ExitStatusesStandardErrorAndReportOnStandardOutput) {
    const std::string log = KESTRIN_TEST_DATA "/apache_access.log";
    CutResult done = RunCut({"--ranked", "--keyword", "\"", log, "-"});
    EXPECT_EQ(done.status, 0);
    EXPECT_EQ(done.err, "Confirm: Sortting Data Output? Yes\nComplete: - done..\n");
    EXPECT_TRUE(done.out == TestData("apache_access.ranked-report"));

    CutResult full = RunCut({log, "-"}, [] { dup2(open("/dev/full", O_WRONLY), STDOUT_FILENO); });
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.err, "ERROR!: Can't File Save!\n-\n");

    CutResult usage = RunCut({"--ranked=yes", log, "-"});
    EXPECT_EQ(usage.status, 2);
    EXPECT_EQ(usage.err, "kestrin-cut: --ranked takes no value\n" + kUsage);
    EXPECT_EQ(usage.out, "");
}

}  // namespace
}  // namespace kestrin
