#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "RunFixture.h"

namespace kestrin {
namespace {

using namespace testing;
class CuttingRunTest : public RunFixture {};

const std::string kBanner = "*********** SORTTING DATA ************\r\n";
const std::string kLog = "a http://b.jp/ x\r\nhttp://a.jp/ y\nno\rHTTP://a.jp/ z\nhttp://b.jp/";
const std::string kListing = "HTTP://a.jp/\t 1\r\nhttp://a.jp/\t 1\r\nhttp://b.jp/\t 2\r\n";

TEST_F(CuttingRunTest, ReportWithAndWithoutTheRankedListing) {
    EXPECT_EQ(Run(RequestFor(kLog), false), CompletedRun(savePath));
    EXPECT_EQ(ReadFile(savePath), kListing);
    EXPECT_EQ(Run(RequestFor(kLog), true), CompletedRun(savePath));
    EXPECT_EQ(ReadFile(savePath),
              kListing + kBanner + "http://b.jp/\t 2\r\nhttp://a.jp/\t 1\r\nHTTP://a.jp/\t 1\r\n");
}

TEST_F(CuttingRunTest, LogWithoutUrlsStillAsksTheQuestion) {
    for (const char* log : {"", "no url\r\nhttps://a.jp/\r\n"}) {
        EXPECT_EQ(Run(RequestFor(log), false), CompletedRun(savePath));
        EXPECT_EQ(ReadFile(savePath), "");
        EXPECT_EQ(Run(RequestFor(log), true), CompletedRun(savePath));
        EXPECT_EQ(ReadFile(savePath), kBanner);
    }
}

TEST_F(CuttingRunTest, RealLogsGiveTheirExpectedReports) {
    RunRequest apache = RequestFor(TestData("apache_access.log"));
    apache.keywordIndex = 1;
    apache.keywordText = std::u16string(1, u'"');
    Run(apache, true);
    EXPECT_EQ(ReadFile(savePath), TestData("apache_access.ranked-report"));
    Run(RequestFor(TestData("aozora_cp932.txt")), true);
    EXPECT_EQ(ReadFile(savePath), TestData("aozora_cp932.ranked-report"));
}

TEST_F(CuttingRunTest, EachRunStartsFromAnEmptyTable) {
    Run(RequestFor("http://first.jp/\n"));
    Run(RequestFor("http://second.jp/\n"));
    EXPECT_EQ(ReadFile(savePath), "http://second.jp/\t 1\r\n");
}

TEST_F(CuttingRunTest, KeywordsInsideTheScheme) {
    const std::pair<char16_t, std::string> cases[] = {
        {u'h', "\t 4\r\n"},  // every URL is empty, and counted
        {u'/', "HTTP:\t 1\r\nhttp:\t 3\r\n"},
        {u'H',
         "HTTP://a.jp/ z\t 1\r\nhttp://a.jp/ y\t 1\r\nhttp://b.jp/\t 1\r\nhttp://b.jp/ x\t 1\r\n"},
    };
    for (const auto& [keyword, report] : cases) {
        RunRequest request = RequestFor(kLog);
        request.keywordIndex = -1;
        request.keywordText = std::u16string(1, keyword);
        EXPECT_EQ(Run(request), CompletedRun(savePath));
        EXPECT_EQ(ReadFile(savePath), report) << char(keyword);
    }
}

TEST_F(CuttingRunTest, KeywordChoices) {
    struct Case {
        std::int16_t index;
        std::u16string text;
        std::string url;  // empty: the keyword is refused
    };
    const Case cases[] = {
        {0, u"Space", "http://a.jp/x"},
        {0, u"\"", "http://a.jp/x"},
        {-1, u" ", "http://a.jp/x"},
        {KeywordIndexOf(u"Space"), u"Space", "http://a.jp/x"},
        {KeywordIndexOf(u"\""), u"\"", "http://a.jp/x y"},
        {KeywordIndexOf(u","), u",", "http://a.jp/x y\"z"},
        {-1, u"\u00e9", "http://a.jp/x y\"z,w"},  // not in CP932: never found
        {-1, u"ab", ""},
        {-1, u"\u3042", ""},
        {-1, u"", ""},
        {KeywordIndexOf(u"space"), u"space", ""},
    };
    for (const Case& c : cases) {
        std::remove(savePath.c_str());
        RunRequest request = RequestFor("http://a.jp/x y\"z,w\n");
        request.keywordIndex = c.index;
        request.keywordText = c.text;
        const std::string name =
            "index " + std::to_string(c.index) + ", " + std::to_string(c.text.size()) + " units";
        if (c.url.empty()) {
            EXPECT_EQ(Run(request), FailedRun("warning", "Back Keyword is not ASCII")) << name;
            EXPECT_NE(access(savePath.c_str(), F_OK), 0) << name << ": report created";
        } else {
            EXPECT_EQ(Run(request), CompletedRun(savePath)) << name;
            EXPECT_EQ(ReadFile(savePath), c.url + "\t 1\r\n") << name;
        }
    }
}

TEST_F(CuttingRunTest, MissingLogOrUnopenableReport) {
    RunRequest request = RequestFor("http://a.jp/\n");
    request.logPath = dir / "missing.log";
    EXPECT_EQ(Run(request), FailedRun("error", "File Not Found!\r" + request.logPath));
    EXPECT_NE(access(savePath.c_str(), F_OK), 0);
    for (const std::string& save : {dir / "no-dir/report.txt", dir / ""}) {
        request = RequestFor("http://a.jp/\n");
        request.savePath = save;
        EXPECT_EQ(Run(request), FailedRun("error", "Can't File Save!\r" + save)) << save;
    }
}

}  // namespace
}  // namespace kestrin
