// A million distinct URLs: all of them counted and listed (there is no cap), in
// order, and ranked exactly as the selection sort would rank them.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "Processes.h"
#include "RecordingUi.h"

namespace kestrin {
namespace {

using namespace testing;

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

TEST(ManyUrls, AMillionDistinctUrlsAreAllListedAndRankedLikeTheSelectionSort) {
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
