#include <gtest/gtest.h>

#include <string>

#include "RecordingUi.h"
#include "TestFiles.h"

namespace kestrin {
namespace {

using namespace testing;

TEST(CuttingRun, ReportWithAndWithoutTheRankedListing) {
    const std::string urls = "a http://b.jp/ x\r\nhttp://a.jp/ y\nno\rHTTP://a.jp/ z\nhttp://b.jp/";
    const std::string listing = "HTTP://a.jp/\t 1\r\nhttp://a.jp/\t 1\r\nhttp://b.jp/\t 2\r\n";
    const struct {
        std::string log;
        bool yes;
        std::string report;
    } cases[] = {
        {urls, false, listing},
        {urls, true,
         listing + kBanner + "http://b.jp/\t 2\r\nhttp://a.jp/\t 1\r\nHTTP://a.jp/\t 1\r\n"},
        {"", true, kBanner},
        {"no url\r\nhttps://a.jp/\r\n", false, ""},
    };
    TempDir dir;
    const std::string log = dir / "access.log", save = dir / "report.txt";
    for (const auto& c : cases) {
        WriteFile(log, c.log);
        EXPECT_EQ(RunEngine({.logPaths = {log}, .savePath = save}, c.yes), Completed(save))
            << c.log;
        EXPECT_EQ(ReadFile(save), c.report) << c.log;
    }
    // Real logs, their reports worked out by hand.
    const RunRequest real[] = {
        {.logPaths = {KESTRIN_TEST_DATA "/apache_access.log"},
         .savePath = save,
         .backKeyword = u"\""},
        {.logPaths = {KESTRIN_TEST_DATA "/aozora_cp932.txt"}, .savePath = save}};
    for (const RunRequest& request : real) {
        EXPECT_EQ(RunEngine(request, true), Completed(save)) << request.logPaths[0];
        const std::string name = std::filesystem::path(request.logPaths[0]).stem();
        EXPECT_EQ(ReadFile(save), TestData(name + ".ranked-report")) << name;
    }
}

TEST(CuttingRun, TypedKeywords) {
    const std::pair<std::u16string, std::string> cases[] = {
        {u"Space", "http://a.jp/x"},
        {u" ", "http://a.jp/x"},
        {u"\"", "http://a.jp/x y"},
        {u",", "http://a.jp/x y\"z"},
        {u"\u00e9", "http://a.jp/x y\"z,w"},  // not in CP932: one byte, never found
        {u"ab", ""},
        {u"\u3042", ""},
        {u"", ""},
        {u"space", ""},
    };
    TempDir dir;
    const std::string log = dir / "access.log", save = dir / "report.txt";
    WriteFile(log, "http://a.jp/x y\"z,w\n");
    for (const auto& [typed, url] : cases) {
        std::remove(save.c_str());
        const RunRequest request{
            .logPaths = {log}, .savePath = save, .backKeyword = BackKeywordFrom(typed)};
        const std::string name = std::to_string(typed.size()) + " units, url " + url;
        if (url.empty()) {
            EXPECT_EQ(RunEngine(request), Failed("Back Keyword is not ASCII", "warning")) << name;
            EXPECT_FALSE(Exists(save)) << name;
        } else {
            EXPECT_EQ(RunEngine(request), Completed(save)) << name;
            EXPECT_EQ(ReadFile(save), url + "\t 1\r\n") << name;
        }
    }
}

}  // namespace
}  // namespace kestrin
