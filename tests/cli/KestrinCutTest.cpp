#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "Processes.h"

namespace kestrin {
namespace {

using namespace testing;

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
    EXPECT_EQ(usage.err,
              "kestrin-cut: --ranked takes no value\nusage: kestrin-cut "
              "[--keyword TEXT] [--ranked] [--codepage NAME] LOGFILE SAVEFILE\n");
    EXPECT_EQ(usage.out, "");
}

}  // namespace
}  // namespace kestrin
