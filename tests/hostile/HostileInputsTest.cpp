// A million distinct URLs, read in ranges on several threads and reported byte for
// byte as expected; fewer under the sanitizers.

#include <gtest/gtest.h>

#include "Processes.h"
#include "RecordingUi.h"

namespace kestrin {
namespace {

using namespace testing;

std::string Entry(const std::string& url, std::uint64_t count) {
    return url + "\t " + std::to_string(count) + "\r\n";
}

TEST(HostileInputs, AMillionDistinctUrlsInRangesAreAllListedAndRankedLikeTheSelectionSort) {
    constexpr int kUrls = 1000000 / int(kSanitizerShrink), kLast = kUrls - 1;
    auto url = [](int number) {
        char text[32];
        std::snprintf(text, sizeof text, "http://h/%07d", number);
        return std::string(text);
    };
    // Every URL once, scrambled by a factor prime to the count, then two again.
    std::string text;
    for (long i = 0; i < kUrls; ++i)
        text += "GET " + url(int(i * 7919 % kUrls)) + " HTTP/1.1 200\n";
    for (int again : {7, kLast, 7}) text += url(again) + "\n";
    TempDir dir;
    const std::string log = dir / "million.log", save = dir / "report.txt";
    WriteFile(log, text);
    // Over 32 MiB, so tallied in ranges, one a thread, and merged, lines counted.
    const CutResult cut = RunCut({"--ranked", "-j", "3", "-o", save, log});
    const std::string lines = std::to_string(kUrls + 3);
    EXPECT_TRUE(cut.err.ends_with("kestrin-cut: " + lines + " lines, " + lines + " with a URL, " +
                                  std::to_string(kUrls) + " distinct URLs\n"))
        << cut.err;

    auto countOf = [kLast](int number) { return number == 7 ? 3 : number == kLast ? 2 : 1; };
    std::string listing, ranked;
    for (int i = 0; i < kUrls; ++i) {
        listing += Entry(url(i), countOf(i));
        // The selection sort swaps 7 into place 0 (0 goes to 7) and the last into
        // place 1 (1 goes last); equal counts then stay where they are.
        const int at = i == 0 ? 7 : i == 7 ? 0 : i == 1 ? kLast : i == kLast ? 1 : i;
        ranked += Entry(url(at), countOf(at));
    }
    EXPECT_TRUE(ReadFile(save) == listing + kBanner + ranked);
}

}  // namespace
}  // namespace kestrin
