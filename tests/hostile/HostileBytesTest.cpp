// Logs of hostile bytes: every byte value in every code page, and lines of a
// million near misses. Each run completes with a report that is byte for byte
// as expected.

#include <gtest/gtest.h>

#include <set>

#include "RecordingUi.h"
#include "TestFiles.h"

namespace kestrin {
namespace {

using namespace testing;

std::string Entry(const std::string& url, std::uint64_t count) {
    return url + "\t " + std::to_string(count) + "\r\n";
}

// The report of a run on `log` with `keyword` (typed), which must complete.
std::string Report(const std::string& log, const char* codePage, char16_t keyword = u' ',
                   bool yes = false) {
    TempDir dir;
    const std::string logPath = dir / "hostile.log", save = dir / "report.txt";
    WriteFile(logPath, log);
    const RunRequest request{.logPath = logPath,
                             .savePath = save,
                             .backKeyword = std::u16string(1, keyword),
                             .codePage = codePage};
    EXPECT_EQ(RunEngine(request, yes), Completed(save)) << codePage;
    return ReadFile(save);
}

// The URLs of a first listing, checking that each count is 1.
std::multiset<std::string> UrlsOf(const std::string& report) {
    std::multiset<std::string> urls;
    for (std::size_t at = 0, end; (end = report.find("\t 1\r\n", at)) != std::string::npos;
         at = end + 5)
        urls.insert(report.substr(at, end - at));
    return urls;
}

TEST(HostileBytes, EveryByteValueReachesTheReportUnchangedInEveryCodePage) {
    std::string everyByte;  // all bytes but the terminators and the space
    for (int b = 1; b < 256; ++b) {
        if (b != '\r' && b != '\n' && b != ' ') everyByte.push_back(char(b));
    }
    for (const char* page : {"CP932", "windows-1252", "CP936", "CP949", "CP950"}) {
        // One line of every byte: the URL is the whole line, whatever decodes.
        EXPECT_EQ(Report("http://" + everyByte + "\r\n", page), Entry("http://" + everyByte, 1))
            << page;
        // Each byte value alone at the end of its own line (a lone lead byte there
        // must neither swallow the terminator nor be lost), after a marker that
        // keeps the lines distinct even where the byte does not decode.
        std::string log;
        std::multiset<std::string> expected;
        for (int b = 1; b < 256; ++b) {
            if (b == '\r' || b == '\n') continue;
            std::string url = "http://x/" + std::to_string(b) + "/";
            log += url + char(b) + "\n";
            expected.insert(b == ' ' ? url : url + char(b));
        }
        EXPECT_EQ(UrlsOf(Report(log, page)), expected) << page;
    }
}

// Each "http://" or trail byte is a hit to reject, which must not make the search
// start over from the line's start each time.
TEST(HostileBytes, LinesOfAMillionNearMisses) {
    std::string schemes, pairs;
    for (int i = 0; i < (1 << 20); ++i) {
        schemes += "http://";
        pairs +=
            "\x81"
            "a";
    }
    const std::string twoSchemeLines = schemes + "\r\n" + schemes + "\n";
    struct Case {
        const char* name;
        std::string log;
        char16_t keyword;
        bool yes;
        std::string report;
    };
    const Case cases[] = {
        {"schemes", twoSchemeLines, u' ', false, Entry(schemes, 2)},
        {"schemes, keyword /", twoSchemeLines, u'/', false, Entry("http:", 2)},
        {"schemes, keyword h: empty URLs, counted", twoSchemeLines, u'h', true,
         Entry("", 2) + kBanner + Entry("", 2)},
        {"pairs whose trail byte is the keyword",
         "http://x/" + pairs + "\r\nhttp://x/" + pairs + "a\r\n", u'a', false,
         Entry("http://x/" + pairs, 2)},
    };
    for (const Case& c : cases)
        EXPECT_TRUE(Report(c.log, "CP932", c.keyword, c.yes) == c.report) << c.name;
}

}  // namespace
}  // namespace kestrin
