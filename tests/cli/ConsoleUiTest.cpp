#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "ConsoleUi.h"

namespace kestrin {
namespace {

// The progress bar shows only on a terminal and only for a big log, and a message
// wipes it before it prints, so no message is written over a half-drawn bar.
TEST(ConsoleUi, ProgressBarOnlyForBigLogsOnATerminalAndWipedBeforeAMessage) {
    constexpr std::int64_t kBig = std::int64_t(100) << 20;
    const std::string bar = "\r[" + std::string(20, '#') + std::string(20, ' ') + "] 50% ";
    const std::string wipe = "\r" + std::string(48, ' ') + "\r";
    const std::string done = "Complete: out.dat done..\n";
    struct Case {
        const char* name;
        bool terminal;
        std::int64_t logSize;
        std::string shown;
    } cases[] = {
        {"big log on a terminal", true, kBig, bar + wipe + done},
        {"small log on a terminal", true, 64 << 20, done},
        {"big log, not a terminal", false, kBig, done},
    };
    for (const Case& c : cases) {
        std::ostringstream err;
        ConsoleUi ui(err, false, c.terminal);
        ui.ShowProgress(c.logSize / 2, c.logSize);
        ui.ShowMessage("out.dat done..", "Complete", MessageIcon::Information);
        ui.LeaveBusy();
        EXPECT_EQ(err.str(), c.shown) << c.name;
    }
}

}  // namespace
}  // namespace kestrin
