// Huge logs: a 100 MB line, a 100 MB run of NUL bytes and a million distinct
// URLs. Each run completes with a report that is byte for byte as expected, and
// peak memory (of the kestrin-cut process, from the kernel's accounting) is
// bounded by the longest line, not by the log. Under the sanitizers the inputs
// are smaller.

#include <gtest/gtest.h>

#include "Processes.h"
#include "RecordingUi.h"

namespace kestrin {
namespace {

using namespace testing;

std::string Entry(const std::string& url, std::uint64_t count) {
    return url + "\t " + std::to_string(count) + "\r\n";
}

TEST(HostileInputs, HugeLinesAndNulRunsAreReadToTheEndInMemoryBoundedByTheLine) {
    constexpr std::size_t kHuge = (100 << 20) / kSanitizerShrink;
    const std::string xs(kHuge, 'x');
    const struct {
        std::string log, report;
        long maxGrowthKiB;
    } cases[] = {
        // The line is held once by the reader (whose buffer doubles) and once by
        // the table: four times the line is generous.
        {"GET http://first/ 200\r\nGET http://big/" + xs,
         "http://big/" + xs + "\t 1\r\nhttp://first/\t 1\r\n", 4 * long(kHuge >> 10)},
        // Each NUL is a line of its own: nothing grows with the run.
        {"GET http://before/ 200\n" + std::string(kHuge, '\0') + "GET http://after/ 200\r\n",
         "http://after/\t 1\r\nhttp://before/\t 1\r\n", 32 << 10},
    };
    TempDir dir;
    const std::string log = dir / "huge.log", save = dir / "report.txt";
    WriteFile(log, "http://tiny/\n");  // what the program needs before any log
    const CutResult tiny = RunCut({log, "-o", save}, WithoutQuarantine);
    for (const auto& c : cases) {
        WriteFile(log, c.log);
        const CutResult result = RunCut({log, "-o", save}, WithoutQuarantine);
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_TRUE(ReadFile(save) == c.report);
        EXPECT_LT(result.peakKilobytes - tiny.peakKilobytes, c.maxGrowthKiB);
    }
}

TEST(HostileInputs, AMillionDistinctUrlsInRangesAreAllListedAndRankedLikeTheSelectionSort) {
    constexpr int kUrls = 1000000 / int(kSanitizerShrink), kLast = kUrls - 1;
    auto url = [](int number) {
        char text[32];
        std::snprintf(text, sizeof text, "http://h/%07d", number);
        return std::string(text);
    };
    // Every URL once, in a scrambled order (multiplying by a number prime to the
    // count visits each once), then two of them again.
    std::string text;
    for (long i = 0; i < kUrls; ++i)
        text += "GET " + url(int(i * 7919 % kUrls)) + " HTTP/1.1 200\n";
    for (int again : {7, kLast, 7}) text += url(again) + "\n";
    TempDir dir;
    const std::string log = dir / "million.log", save = dir / "report.txt";
    WriteFile(log, text);
    // Over 32 MiB, so tallied in ranges, one a thread, and merged.
    ASSERT_EQ(RunEngine({.logPaths = {log}, .savePath = save, .jobs = 3}, true), Completed(save));

    auto countOf = [kLast](int number) { return number == 7 ? 3 : number == kLast ? 2 : 1; };
    std::string expected;
    for (int i = 0; i < kUrls; ++i) expected += Entry(url(i), countOf(i));
    // The selection sort swaps 7 into place 0 (0 goes to 7) and the last into
    // place 1 (1 goes last); equal counts then stay where they are.
    std::vector<int> ranked(kUrls);
    for (int i = 0; i < kUrls; ++i) ranked[i] = i;
    std::swap(ranked[0], ranked[7]);
    std::swap(ranked[1], ranked[kLast]);
    expected += kBanner;
    for (int number : ranked) expected += Entry(url(number), countOf(number));
    const std::string report = ReadFile(save);
    const std::size_t at = std::size_t(
        std::mismatch(report.begin(), report.end(), expected.begin(), expected.end()).first -
        report.begin());
    EXPECT_EQ(at, expected.size()) << "first difference: " << report.substr(at, 40);
}

}  // namespace
}  // namespace kestrin
