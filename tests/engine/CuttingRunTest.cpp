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
    struct Case {
        const char* name;
        std::string log;
        bool yes;
        std::string report;
    };
    const Case cases[] = {
        {"URLs, No", urls, false, listing},
        {"URLs, Yes", urls, true,
         listing + kBanner + "http://b.jp/\t 2\r\nhttp://a.jp/\t 1\r\nHTTP://a.jp/\t 1\r\n"},
        {"empty log, No", "", false, ""},
        {"empty log, Yes", "", true, kBanner},
        {"no http:// URL, Yes", "no url\r\nhttps://a.jp/\r\n", true, kBanner},
    };
    TempDir dir;
    const std::string log = dir / "access.log", save = dir / "report.txt";
    for (const Case& c : cases) {
        WriteFile(log, c.log);
        RecordingUi ui(c.yes);
        RunEngine({.logPath = log, .savePath = save}, ui);
        EXPECT_EQ(ui.calls, Completed(save)) << c.name;
        EXPECT_EQ(ReadFile(save), c.report) << c.name;
    }
}

TEST(CuttingRun, RealLogsGiveTheirExpectedReports) {
    TempDir dir;
    const std::string save = dir / "report.txt";
    const std::pair<RunRequest, const char*> cases[] = {
        {{.logPath = KESTRIN_TEST_DATA "/apache_access.log",
          .savePath = save,
          .backKeyword = u"\""},
         "apache_access.ranked-report"},
        {{.logPath = KESTRIN_TEST_DATA "/aozora_cp932.txt", .savePath = save},
         "aozora_cp932.ranked-report"},
    };
    for (const auto& [request, report] : cases) {
        EXPECT_EQ(RunEngine(request, true), Completed(save)) << report;
        EXPECT_EQ(ReadFile(save), TestData(report)) << report;
    }
}

TEST(CuttingRun, KeywordChoices) {
    struct Case {
        std::u16string typed;
        std::string url;  // empty: the keyword is refused
    };
    const Case cases[] = {
        {u"Space", "http://a.jp/x"},
        {u" ", "http://a.jp/x"},
        {u"\"", "http://a.jp/x y"},
        {u",", "http://a.jp/x y\"z"},
        {u"\u00e9", "http://a.jp/x y\"z,w"},  // not in CP932: never found
        {u"ab", ""},
        {u"\u3042", ""},
        {u"", ""},
        {u"space", ""},
    };
    TempDir dir;
    const std::string log = dir / "access.log", save = dir / "report.txt";
    WriteFile(log, "http://a.jp/x y\"z,w\n");
    for (const Case& c : cases) {
        std::remove(save.c_str());
        const RunRequest request{
            .logPath = log, .savePath = save, .backKeyword = BackKeywordFrom(c.typed)};
        const std::string name = std::to_string(c.typed.size()) + " units";
        if (c.url.empty()) {
            EXPECT_EQ(RunEngine(request), Failed("Back Keyword is not ASCII", "warning")) << name;
            EXPECT_FALSE(Exists(save)) << name << ": report created";
        } else {
            EXPECT_EQ(RunEngine(request), Completed(save)) << name;
            EXPECT_EQ(ReadFile(save), c.url + "\t 1\r\n") << name;
        }
    }
}

}  // namespace
}  // namespace kestrin
