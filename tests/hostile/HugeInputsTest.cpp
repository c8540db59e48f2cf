// Inputs at scale: a 100 MB line without a terminator, a 100 MB run of NUL bytes
// and a million distinct URLs. Runs read on to the true end of the log, report
// exactly (there is no cap), and their peak memory is bounded by the longest line,
// not by the log; peak memory is that of the kestrin-cut process, from the
// kernel's accounting. Under the sanitizers the inputs are smaller.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "Processes.h"
#include "RecordingUi.h"

namespace kestrin {
namespace {

using namespace testing;

TEST(HugeInputs, HugeLinesAndNulRunsAreReadToTheEndInMemoryBoundedByTheLine) {
    constexpr std::size_t kHuge = (100 << 20) / kSanitizerShrink;
    constexpr long kMiB = 1024;  // in the kilobytes ru_maxrss counts
    const std::string xs(kHuge, 'x');
    struct Case {
        const char* name;
        std::string log, report;
        long maxGrowthKiB;
    };
    const Case cases[] = {
        // The line is held once by the reader (whose buffer doubles) and once by
        // the table: four times the line is generous.
        {"line without terminator", "GET http://first/ 200\r\nGET http://big/" + xs,
         "http://big/" + xs + "\t 1\r\nhttp://first/\t 1\r\n", 4 * long(kHuge >> 10)},
        // Each NUL is a line of its own: nothing grows with the run.
        {"NUL run",
         "GET http://before/ 200\n" + std::string(kHuge, '\0') +
             "GET http://after/ 200\r\nGET http://before/ 304\n",
         "http://after/\t 1\r\nhttp://before/\t 2\r\n", 32 * kMiB},
    };
    TempDir dir;
    const std::string log = dir / "huge.log", save = dir / "report.txt";
    WriteFile(log, "http://tiny/\n");  // what the program needs before any log
    const CutResult tiny = RunCut({log, save}, WithoutQuarantine);
    ASSERT_EQ(tiny.status, 0) << tiny.err;
    for (const Case& c : cases) {
        WriteFile(log, c.log);
        const CutResult result = RunCut({log, save}, WithoutQuarantine);
        EXPECT_EQ(result.status, 0) << c.name << ": " << result.err;
        EXPECT_TRUE(ReadFile(save) == c.report) << c.name;
        EXPECT_LT(result.peakKilobytes - tiny.peakKilobytes, c.maxGrowthKiB)
            << c.name << ": peak " << result.peakKilobytes / kMiB << " MiB, baseline "
            << tiny.peakKilobytes / kMiB << " MiB";
    }
}

constexpr int kUrls = 1000000 / int(kSanitizerShrink);
constexpr int kLast = kUrls - 1;
constexpr int kMiddle = kUrls / 2;

std::string Url(int number) {
    char text[32];
    std::snprintf(text, sizeof text, "http://h/%07d", number);
    return text;
}

std::string Entry(int number, int count) {
    return Url(number) + "\t " + std::to_string(count) + "\r\n";
}

TEST(HugeInputs, AMillionDistinctUrlsAreAllListedAndRankedLikeTheSelectionSort) {
    TempDir dir;
    const std::string log = dir / "million.log", save = dir / "report.txt";
    // Every URL once, in a scrambled order (multiplying by a number prime to the
    // count visits each once), then three of them again.
    std::string text;
    for (long i = 0; i < kUrls; ++i) text += "GET " + Url(int(i * 7919 % kUrls)) + " 200\n";
    for (int again : {7, kLast, kMiddle, 7, kLast}) text += Url(again) + "\n";
    WriteFile(log, text);
    ASSERT_EQ(RunEngine({.logPath = log, .savePath = save}, true), Completed(save));

    auto countOf = [](int number) {
        return number == 7 || number == kLast ? 3 : number == kMiddle ? 2 : 1;
    };
    std::string expected;
    for (int i = 0; i < kUrls; ++i) expected += Entry(i, countOf(i));
    expected += kBanner;
    // The selection sort swaps 7 into place 0 (0 goes to 7), the last into place
    // 1 (1 goes last) and the middle one into place 2 (2 goes to the middle); equal
    // counts then stay where they are.
    std::vector<int> ranked(kUrls);
    for (int i = 0; i < kUrls; ++i) ranked[i] = i;
    std::swap(ranked[0], ranked[7]);
    std::swap(ranked[1], ranked[kLast]);
    std::swap(ranked[2], ranked[kMiddle]);
    for (int number : ranked) expected += Entry(number, countOf(number));

    const std::string report = ReadFile(save);
    EXPECT_EQ(report.size(), expected.size());
    auto differ = std::mismatch(report.begin(), report.end(), expected.begin(), expected.end());
    const std::size_t at = std::size_t(differ.first - report.begin());
    EXPECT_EQ(at, expected.size())
        << "first difference at byte " << at << ": \"" << report.substr(at, 40)
        << "\" instead of \"" << expected.substr(at, 40) << "\"";
}

}  // namespace
}  // namespace kestrin
