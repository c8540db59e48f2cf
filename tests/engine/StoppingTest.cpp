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
    // Each phase, whether it looks for a stop often enough to be seen stopping
    // before its end, and how often the run may still tell progress once the stop
    // is asked for (-1: any number of times).
    const struct {
        RunPhase phase;
        const char* name;
        bool cutShort;
        int after;
    } phases[] = {{RunPhase::Reading, "reading", true, 4},
                  {RunPhase::Merging, "merging", true, 0},
                  {RunPhase::Sorting, "sorting", false, -1},
                  {RunPhase::Listing, "listing", true, 0},
                  {RunPhase::Ranking, "ranking", true, 0},
                  {RunPhase::RankedListing, "ranked listing", true, 0}};
    for (const auto& p : phases) {
        WriteFile(save, "previous report\r\n");
        std::atomic<bool> stop = false;
        double told = 0;  // of the phase, once the stop is asked for
        int after = 0;
        bool later = false;  // a later phase told its progress
        RecordingUi ui(true);
        ui.onProgress = [&](const RunProgress& progress) {
            after += stop ? 1 : 0;
            later = later || progress.phase > p.phase;
            if (progress.phase != p.phase) return;
            if (stop) told = std::max(told, progress.phaseFraction);
            if (progress.phaseFraction > 0) stop = true;
        };
        RunEngine({.logPaths = {dir / "access.log"},
                   .savePath = save,
                   .stop = &stop,
                   .jobs = 2,
                   .minimumRange = 1 << 20},
                  ui);
        EXPECT_TRUE(stop) << p.name;
        if (p.cutShort) {
            EXPECT_LT(told, 1) << p.name;
        }
        EXPECT_FALSE(later) << p.name;
        EXPECT_LE(after, p.after < 0 ? after : p.after) << p.name;
        EXPECT_EQ(ui.messages.size(), 0u) << p.name;
        EXPECT_EQ(ReadFile(save), "previous report\r\n") << p.name;
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 2) << p.name;
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
