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
#include "input/LineCutter.h"
#include "tally/TallyLines.h"
#include "tally/UrlTally.h"
#include "text/CodePage.h"
#include "text/HostFilter.h"

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

// A run of NULs and a URL of gigabytes are cut a buffer at a time: progress is told
// through the one, a stop is seen within either, and the URL not yet ended when
// the run stops is not counted.
TEST(Stopping, NulRunsAndLongUrlsTellProgressAndStopWithinThem) {
    TempDir dir;
    const std::string log = dir / "nuls.log", save = dir / "report.dat";
    WriteFile(log, "");
    std::filesystem::resize_file(Native(log), 64 << 20);
    WriteFile(save, "previous report\r\n");
    std::atomic<bool> stop = false;
    double told = 0;  // of the reading
    RecordingUi ui;
    ui.onProgress = [&](const RunProgress& progress) {
        if (progress.phase != RunPhase::Reading) return;
        told = std::max(told, progress.phaseFraction);
        stop = progress.phaseFraction > 0;
    };
    RunEngine({.logPaths = {log}, .savePath = save, .stop = &stop, .jobs = 1}, ui);
    // The first tell is at a sixteenth of the NULs.
    EXPECT_TRUE(stop);
    EXPECT_LT(told, 0.2);
    EXPECT_EQ(ui.messages.size(), 0u);
    EXPECT_EQ(ReadFile(save), "previous report\r\n");

    // "http://" and then 'a' without end, the stop asked for once 8 MiB are read.
    class EndlessUrl : public ByteSource {
      public:
        explicit EndlessUrl(std::atomic<bool>& stop) : stop_(stop) {}
        Result<std::size_t> Read(char* into, std::size_t size) override {
            for (std::size_t i = 0; i < size; ++i, ++read_)
                into[i] = read_ < 7 ? "http://"[read_] : 'a';
            if (read_ >= 8 << 20) stop_ = true;
            return size;
        }
        std::int64_t Consumed() const override { return read_; }

      private:
        std::atomic<bool>& stop_;
        std::int64_t read_ = 0;
    };
    stop = false;
    EndlessUrl source(stop);
    const CuttingRule rule(**CodePage::Shared("CP932"), u' ');
    LineCutter cutter(source, rule);
    UrlTally tally(rule.Page());
    RunControl control(&stop);
    Phase reading = control.Begin(RunPhase::Reading, 0);
    Phase::Piece piece(reading);
    const Result<LineCounts> counts =
        TallyLines(cutter, source, HostFilter({}, rule.Page()), tally, piece);
    EXPECT_TRUE(!counts && counts.Failure().IsStop());
    EXPECT_EQ(tally.RecordCount(), 0u);
    EXPECT_LT(source.Consumed(), 16 << 20);
}

#ifndef _WIN32
// Pipes `head` and then `filler` into a run, which is asked to stop once 8 MiB are
// written: it ends before 64 MiB, the previous report kept.
void StopWhilePiped(const std::string& head, char filler) {
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
        const std::string block(1 << 16, filler);
        const bool whole = write(ends[1], head.data(), head.size()) == ssize_t(head.size());
        while (whole && written < std::size_t(256) << 20) {
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

// A line that never ends, piped in, is read only until the stop: a closing window
// does not wait for gigabytes without a line feed; nor for the zeros after a tar's
// end, which are read to the end of the input.
TEST(Stopping, ALineWithoutEndIsReadOnlyUntilTheStop) {
    for (const bool archive : {false, true}) {
        StopWhilePiped(archive ? ReadFile(KESTRIN_TEST_LOGS "/archives/one.tar") : "",
                       archive ? '\0' : 'x');
    }
}

#endif

}  // namespace
}  // namespace kestrin
