#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "TestFiles.h"

namespace kestrin {
namespace {

using namespace testing;

// Runs the real kestrin-cut through the shell; returns the exit status.
int RunKestrinCut(const std::string& args, const std::string& out, const std::string& err) {
    int raw = std::system((KESTRIN_CUT " " + args + " >" + out + " 2>" + err).c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

TEST(KestrinCut, ExitStatusesStandardErrorAndReportOnStandardOutput) {
    TempDir dir;
    const std::string log = KESTRIN_TEST_DATA "/apache_access.log", out = dir / "out",
                      err = dir / "err";
    EXPECT_EQ(RunKestrinCut("--ranked --keyword '\"' " + log + " -", out, err), 0);
    EXPECT_EQ(ReadFile(err), "Confirm: Sortting Data Output? Yes\nComplete: - done..\n");
    EXPECT_TRUE(ReadFile(out) == TestData("apache_access.ranked-report"));

    EXPECT_EQ(RunKestrinCut(log + " -", "/dev/full", err), 1);
    EXPECT_EQ(ReadFile(err), "ERROR!: Can't File Save!\n-\n");

    EXPECT_EQ(RunKestrinCut(dir / "missing.log " + out, out, err), 1);
    EXPECT_EQ(ReadFile(err), "ERROR!: File Not Found!\n" + dir / "missing.log\n");

    EXPECT_EQ(RunKestrinCut("--ranked=yes " + log + " -", out, err), 2);
    EXPECT_EQ(ReadFile(err),
              "kestrin-cut: --ranked takes no value\nusage: kestrin-cut "
              "[--keyword TEXT] [--ranked] [--codepage NAME] LOGFILE SAVEFILE\n");
}

}  // namespace
}  // namespace kestrin
