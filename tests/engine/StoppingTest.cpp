// A run told to stop stops in whatever phase it is: reading, merging the ranges'
// tallies, sorting, listing, ranking or listing the ranking. It ends without
// saving, the previous report kept, and tells no progress past the phase it was in.

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <thread>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "RecordingUi.h"
#include "TestFiles.h"

namespace kestrin {
namespace {

using namespace testing;

TEST(Stopping, ARunStopsInEveryPhaseAndSavesNothing) {
    TempDir dir;
    // 300 000 distinct URLs, seen once to three times, over 16 MiB: enough for the
    // progress to be told and for two ranges, a shared sort and several counts.
    std::string text;
    for (int i = 0; i < 900000; ++i)
        text += "GET http://example.com/" + std::to_string(i % (300000 - i / 300000 * 100000)) +
                " 1.1 200 ...\n";
    ASSERT_GT(text.size(), std::size_t(16 << 20));
    WriteFile(dir / "access.log", text);
    const std::string save = dir / "report.dat";
    // Where each phase starts and ends, as the run tells its progress, whether it
    // looks for a stop often enough to be seen stopping before its end, and how often
    // it may still tell progress once the stop is asked for (-1: any number of times).
    const struct {
        const char* phase;
        double from, to;
        bool cutShort;
        int after;
    } phases[] = {{"reading", 0.0, 0.675, true, 4},   {"merging", 0.675, 0.75, true, 0},
                  {"sorting", 0.75, 0.85, false, -1}, {"listing", 0.85, 0.95, true, 0},
                  {"ranking", 0.95, 0.975, true, 0},  {"ranked listing", 0.975, 1, true, 0}};
    for (const auto& p : phases) {
        WriteFile(save, "previous report\r\n");
        std::atomic<bool> stop = false;
        double told = 0;
        int after = 0;
        RecordingUi ui(true);
        ui.onProgress = [&](double fraction) {
            told = std::max(told, fraction);
            after += stop ? 1 : 0;
            if (fraction > p.from + 0.0005) stop = true;
        };
        RunEngine({.logPaths = {dir / "access.log"},
                   .savePath = save,
                   .stop = &stop,
                   .jobs = 2,
                   .minimumRange = 1 << 20},
                  ui);
        EXPECT_TRUE(stop) << p.phase;
        EXPECT_LE(told, p.cutShort ? p.to - 0.001 : p.to + 0.001) << p.phase;
        EXPECT_LE(after, p.after < 0 ? after : p.after) << p.phase;
        EXPECT_EQ(ui.calls.back(), "LeaveBusy") << p.phase;
        EXPECT_EQ(ui.messages.size(), 0u) << p.phase;
        EXPECT_EQ(ReadFile(save), "previous report\r\n") << p.phase;
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 2) << p.phase;
    }
}

#ifndef _WIN32
// A line that never ends, piped in, is read only until the stop: a closing window
// does not wait for gigabytes without a line feed.
TEST(Stopping, ALineWithoutEndIsReadOnlyUntilTheStop) {
    TempDir dir;
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    const int savedStdin = dup(0);
    dup2(ends[0], 0);
    close(ends[0]);
    const auto previousSigpipe = std::signal(SIGPIPE, SIG_IGN);
    std::atomic<bool> stop = false;
    std::atomic<std::size_t> written = 0;
    std::thread writer([&] {
        const std::string block(1 << 16, 'x');
        while (written < std::size_t(256) << 20) {
            const ssize_t put = write(ends[1], block.data(), block.size());
            if (put <= 0) break;
            written += std::size_t(put);
            if (written >= std::size_t(8) << 20) stop = true;
        }
        close(ends[1]);
    });
    const std::string save = dir / "report.dat";
    WriteFile(save, "previous report\r\n");
    RecordingUi ui(true);
    RunEngine({.logPaths = {"-"}, .savePath = save, .stop = &stop}, ui);
    const std::size_t whenEnded = written;
    dup2(savedStdin, 0);  // the pipe's last reader goes: the writer ends too
    close(savedStdin);
    writer.join();
    std::signal(SIGPIPE, previousSigpipe);
    EXPECT_LT(whenEnded, std::size_t(64) << 20);
    EXPECT_EQ(ReadFile(save), "previous report\r\n");
    EXPECT_EQ(ui.messages.size(), 0u);
}
#endif

}  // namespace
}  // namespace kestrin
