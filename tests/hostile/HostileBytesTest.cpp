// Logs of hostile bytes: every byte value, lone lead bytes and cut double-byte
// pairs at line and buffer edges, odd terminators, and a line made of nothing but
// "http://". Each run completes with a report that is byte for byte as expected.

#include <gtest/gtest.h>

#include <set>

#include "HostileSupport.h"

namespace kestrin::hostile {
namespace {

constexpr std::size_t kBuffer = 1 << 20;  // the reader's buffer

std::string Entry(const std::string& url, std::uint64_t count) {
    return url + "\t " + std::to_string(count) + "\r\n";
}

// Runs the engine on `log` with `keyword` (typed) and returns the report.
std::string Report(const ScratchDir& dir, const std::string& log, const std::string& codePage,
                   const std::u16string& keyword = u"Space", bool yes = false) {
    const std::string logPath = dir / "hostile.log";
    const std::string save = dir / "report.txt";
    WriteFile(logPath, log);
    RunRequest request = Request(logPath, save, codePage);
    request.keywordIndex = KeywordIndexOf(keyword);
    request.keywordText = keyword;
    std::vector<std::string> calls = RunEngine(request, yes);
    EXPECT_EQ(calls, Completed(save)) << codePage;
    return ReadFile(save);
}

// Splits a first listing into its URLs, checking each count is 1.
std::multiset<std::string> UrlsOf(const std::string& report) {
    std::multiset<std::string> urls;
    for (std::size_t at = 0; at < report.size();) {
        std::size_t end = report.find("\t 1\r\n", at);
        if (end == std::string::npos) break;
        urls.insert(report.substr(at, end - at));
        at = end + 5;
    }
    return urls;
}

TEST(HostileBytes, EveryByteValueReachesTheReportUnchangedInEveryCodePage) {
    ScratchDir dir;
    std::string everyByte;  // all bytes but the terminators and the space
    for (int b = 1; b < 256; ++b) {
        if (b != '\r' && b != '\n' && b != ' ') everyByte.push_back(char(b));
    }
    for (const char* page : {"CP932", "windows-1252", "CP936", "CP949", "CP950"}) {
        // One line of every byte: the URL is the whole line, whatever decodes.
        EXPECT_EQ(Report(dir, "http://" + everyByte + "\r\n", page),
                  Entry("http://" + everyByte, 1))
            << page;
        // Each byte value alone at the end of its own line, after a marker that
        // keeps the lines distinct even where the byte does not decode.
        std::string log;
        std::multiset<std::string> expected;
        for (int b = 1; b < 256; ++b) {
            if (b == '\r' || b == '\n') continue;
            std::string url = "http://x/" + std::to_string(b) + "/";
            log += url + char(b) + "\n";
            expected.insert(b == ' ' ? url : url + char(b));
        }
        EXPECT_EQ(UrlsOf(Report(dir, log, page)), expected) << page;
    }
}

TEST(HostileBytes, LoneLeadBytesAndCutPairsAtLineEdgesKeepTheirBytes) {
    ScratchDir dir;
    struct Case {
        const char* name;
        std::string log;
        std::u16string keyword;
        std::string report;
    } cases[] = {
        {"lead byte before CR LF", "http://a/\x81\r\nhttp://b/\r\n", u"Space",
         Entry("http://a/\x81", 1) + Entry("http://b/", 1)},
        {"lead byte before a lone CR", "http://a/\x81\rhttp://b/\r", u"Space",
         Entry("http://a/\x81", 1) + Entry("http://b/", 1)},
        {"lead byte before LF", "http://a/\x9f\nhttp://a/\x9f\n", u"Space",
         Entry("http://a/\x9f", 2)},
        {"lead byte before NUL", std::string("http://a/\x81\0http://b/", 20), u"Space",
         Entry("http://a/\x81", 1) + Entry("http://b/", 1)},
        {"lead byte at the end of the log", "http://b/\nhttp://a/\xfc", u"Space",
         Entry("http://a/\xfc", 1) + Entry("http://b/", 1)},
        {"lead byte before the keyword", "http://a/\x81 x\r\n", u"Space",
         Entry("http://a/\x81", 1)},
        {"trail byte that looks like the keyword",
         "http://x/\x81"
         "a"
         "b"
         "a"
         "c\r\n",
         u"a",
         Entry("http://x/\x81"
               "ab",
               1)},
        {"trail byte that looks like h", "\x81http://no/\r\n\x81\x81http://yes/\r\n", u"Space",
         Entry("http://yes/", 1)},
        {"lone trail-range byte", "http://a/\x40\xfd\x40\r\n", u"Space",
         Entry("http://a/\x40\xfd\x40", 1)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Report(dir, c.log, "CP932", c.keyword), c.report) << c.name;
    }
}

// Lines whose pair (lead byte 0x81, trail byte 'a') straddles the end of the
// reader's first buffer, at every offset around it, with 'a' as keyword.
TEST(HostileBytes, PairsCutByTheBufferEdgeAreReadWhole) {
    ScratchDir dir;
    for (std::size_t shift = 0; shift < 12; ++shift) {
        std::string log;
        const std::size_t target = kBuffer - 6 + shift;  // where the line starts
        while (log.size() + 100 < target) log += std::string(98, 'z') + "\r\n";
        log += std::string(target - log.size() - 1, 'y') + "\n";
        // 0x81 'a' is one character, so the URL ends at the lone 'a' after "b".
        const std::string url = std::string("http://") + "\x81" + "a" + "\x81" + "ab";
        log += url + "ac\r\n" + url + "a\n";
        EXPECT_EQ(Report(dir, log, "CP932", u"a"), Entry(url, 2)) << "line starting at " << target;
    }
}

TEST(HostileBytes, OddTerminatorsYieldTheSameTally) {
    ScratchDir dir;
    const std::string tally = Entry("http://a/", 2) + Entry("http://b/", 1);
    struct Case {
        const char* name;
        std::string log;
    } cases[] = {
        {"CR only", "http://a/ 1\rhttp://b/ 2\rhttp://a/ 3\r"},
        {"LF CR", "http://a/ 1\n\rhttp://b/ 2\n\rhttp://a/ 3\n\r"},
        {"CR CR LF", "http://a/ 1\r\r\nhttp://b/ 2\r\r\nhttp://a/ 3\r\r\n"},
        {"NUL terminated", std::string("http://a/ 1\0http://b/ 2\0http://a/ 3\0", 36)},
        {"mixed, no final terminator", "http://a/ 1\rhttp://b/ 2\r\nhttp://a/"},
        {"line of 1023 bytes before CR LF",
         "http://a/ " + std::string(1013, 'p') + "\r\nhttp://b/\nhttp://a/\n"},
        {"lines of 1024 and 5000 bytes", "http://a/ " + std::string(1014, 'p') + "\nhttp://b/ " +
                                             std::string(4990, 'q') + "\r\nhttp://a/"},
    };
    for (const Case& c : cases) EXPECT_EQ(Report(dir, c.log, "CP932"), tally) << c.name;
}

TEST(HostileBytes, LineOfAMillionSchemesIsOneUrl) {
    ScratchDir dir;
    std::string schemes;
    schemes.reserve(7 << 20);
    for (int i = 0; i < (1 << 20); ++i) schemes += "http://";
    const std::string log = schemes + "\r\n" + schemes + "\n";
    EXPECT_EQ(Report(dir, log, "CP932"), Entry(schemes, 2));
    EXPECT_EQ(Report(dir, log, "CP932", u"/"), Entry("http:", 2));
    EXPECT_EQ(Report(dir, log, "CP932", u"h", true), Entry("", 2) + kBanner + Entry("", 2));
}

// A long line of pairs whose trail byte looks like the keyword: every trail byte
// is a rejected hit, which must not make the search start over each time.
TEST(HostileBytes, LongLineOfKeywordLikeTrailBytesCompletes) {
    ScratchDir dir;
    std::string pairs;
    for (int i = 0; i < (1 << 20); ++i) pairs += std::string("\x81") + "a";
    EXPECT_EQ(Report(dir, "http://x/" + pairs + "\r\nhttp://x/" + pairs + "a\r\n", "CP932", u"a"),
              Entry("http://x/" + pairs, 2));
}

}  // namespace
}  // namespace kestrin::hostile
