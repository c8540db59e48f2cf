#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "StringSink.h"
#include "TestFiles.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace kestrin {
namespace {

using namespace testing;

// kestrin-cut's report for `args`, written to `save`; its messages in `err`.
std::string Cut(std::vector<std::string> args, const std::string& save,
                std::string* err = nullptr) {
    args.insert(args.end(), {"--quiet", "-o", save});
    StringSink out, messages;
    EXPECT_EQ(RunCommandLine(args, {out, messages}), 0) << messages.str();
    if (err != nullptr) *err = messages.str();
    return ReadFile(save);
}

// A program of this system's, where there is one: its status, its output in `out`.
int System(const std::string& command, std::string* out = nullptr) {
#ifdef _WIN32
    (void)command, (void)out;
    return -1;
#else
    TempDir dir;
    const int status = std::system((command + " >" + dir / "out" + " 2>/dev/null").c_str());
    if (out != nullptr) *out = ReadFile(dir / "out");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

// A CP932 log whose URLs hold a CSV's quote and comma, HTML's specials, a
// character (あ) and a byte that is not text (a lead byte alone).
const std::string kLog =
    "GET http://b.jp/say\"hi\",x z\nGET http://a.jp/\x82\xa0 z\nGET http://a.jp/\x82\xa0 z\n"
    "GET http://a.jp/\x81 z\nGET http://c.jp/<b>&'</b> z\n";

TEST(ReportFormats, CsvAndJsonHoldEveryEntryAsText) {
    TempDir dir;
    const std::string log = dir / "a.log", save = dir / "r";
    WriteFile(log, kLog);
    const std::string rows = "http://b.jp/say\"\"hi\"\",x\",1\r\nhttp://c.jp/<b>&'</b>,1\r\n";
    EXPECT_EQ(Cut({"--format", "csv", log}, save),
              "url,count\r\nhttp://a.jp/\x82\xa0,2\r\nhttp://a.jp/\x81,1\r\n\"" + rows);
    // In UTF-8 for a spreadsheet: the byte order mark, and the byte that is not
    // text in CP932 as the URL's own escape.
    std::string err;
    EXPECT_EQ(Cut({"--format=csv", "--ranked", "--eol", "lf", "--report-codepage", "UTF-8", log},
                  save, &err),
              "\xef\xbb\xbfurl,count\nhttp://a.jp/\xe3\x81\x82,2\nhttp://a.jp/%81,1\n\"" +
                  std::regex_replace(rows, std::regex("\r"), ""));
    EXPECT_EQ(err, "kestrin-cut: warning: 1 entry has bytes written as %XX: not text in CP932\n");
    const std::string json = Cut({"--format", "json", "--top", "2", log}, save);
    EXPECT_EQ(json,
              "{\"lines\": 5, \"linesWithUrl\": 5, \"distinctUrls\": 4, \"entries\": [\n"
              "{\"url\": \"http://a.jp/\xe3\x81\x82\", \"count\": 2},\n"
              "{\"url\": \"http://a.jp/%81\", \"count\": 1}\n]}\n");
    const std::string hosts = Cut({"--format", "json", "--group", "host", log}, save);
    EXPECT_EQ(hosts,
              "{\"lines\": 5, \"linesWithUrl\": 5, \"distinctUrls\": 4, \"hosts\": 3, "
              "\"entries\": [\n{\"host\": \"http://a.jp\", \"count\": 3},\n"
              "{\"host\": \"http://b.jp\", \"count\": 1},\n"
              "{\"host\": \"http://c.jp\", \"count\": 1}\n]}\n");
    // A UTF-8 log's JSON is its own text: a character beyond U+FFFF as its four
    // bytes, and a byte that is not text as the URL's escape.
    WriteFile(dir / "u.log", "GET http://u/\xf0\x9f\x98\x80 z\nGET http://u/\xc0 z\n");
    EXPECT_EQ(Cut({"--format", "json", "--codepage", "UTF-8", dir / "u.log"}, save),
              "{\"lines\": 2, \"linesWithUrl\": 2, \"distinctUrls\": 2, \"entries\": [\n"
              "{\"url\": \"http://u/\xf0\x9f\x98\x80\", \"count\": 1},\n"
              "{\"url\": \"http://u/%C0\", \"count\": 1}\n]}\n");
    // jq reads what a program reads: the whole URL, quote and all.
#ifndef _WIN32
    WriteFile(dir / "all.json", Cut({"--format", "json", log}, save));
    std::string urls;
    ASSERT_EQ(System("jq --version"), 0) << "jq is missing: run scripts/setup.sh";
    EXPECT_EQ(System("jq -r '.entries[] | \"\\(.url) \\(.count)\"' " + dir / "all.json", &urls), 0);
    EXPECT_EQ(urls,
              "http://a.jp/\xe3\x81\x82 2\nhttp://a.jp/%81 1\nhttp://b.jp/say\"hi\",x 1\n"
              "http://c.jp/<b>&'</b> 1\n");
#endif
}

// A log of referrers on a few sites, in every spelling of their hosts.
std::string RandomLog(std::mt19937& random) {
    static const char* const kHosts[] = {
        "www.google.co.jp", "News.Google.CO.jp", "google.co.jp.", "a.github.io", "B.a.github.io",
        "localhost",        "10.0.0.1",          "[::1]",         "co.jp",       "x.example.com",
        "EXAMPLE.com"};
    static const char* const kAround[] = {"", "u@", ":8080", "/", "/p?q#f"};
    std::string log;
    for (int line = 0; line < 300; ++line) {
        log += random() % 3 ? "GET http://" : "GET HTTP://";
        log += kAround[random() % 2];
        log += kHosts[random() % std::size(kHosts)];
        log += kAround[2 + random() % 3];
        log += "\n";
    }
    return log;
}

// Grouping after merging reports of URLs, or merging grouped reports, is grouping
// the union of the logs, byte for byte.
TEST(ReportFormats, MergedGroupedReportsAreTheGroupedReportOfAllTheLogs) {
    TempDir dir;
    std::mt19937 random(23);
    const std::string a = dir / "a.log", b = dir / "b.log", save = dir / "r";
    WriteFile(a, RandomLog(random));
    WriteFile(b, RandomLog(random));
    WriteFile(dir / "a.dat", Cut({a}, save));
    WriteFile(dir / "b.dat", Cut({b}, save));
    for (const char* group : {"host", "site"}) {
        const std::string all = Cut({"--group", group, "--ranked", a, b}, save);
        EXPECT_EQ(
            Cut({"--merge", "--group", group, "--ranked", dir / "a.dat", dir / "b.dat"}, save),
            all);
        WriteFile(dir / "ga.dat", Cut({"--group", group, a}, save));
        WriteFile(dir / "gb.dat", Cut({"--group", group, b}, save));
        EXPECT_EQ(
            Cut({"--merge", "--group", group, "--ranked", dir / "ga.dat", dir / "gb.dat"}, save),
            all);
    }
    const std::regex counts("\t [0-9]+\r\n");
    EXPECT_EQ(std::regex_replace(Cut({"--group", "site", a, b}, save), counts, " "),
              "http://10.0.0.1 http://[::1] http://a.github.io "
              "http://co.jp http://example.com http://google.co.jp http://localhost ");
}

// The page in a real browser: Chromium reads its text as written (control bytes as
// the URL's escape, which a page and a link keep), shows the top 100 entries with
// their bars, makes links of web addresses only, and draws it.
TEST(ReportFormats, ThePageShowsTheRankedEntriesInABrowser) {
    TempDir dir;
    std::string report = "javascript:alert(1)\t 500\r\nftp://x/\t 400\r\n";
    for (int i = 0; i < 120; ++i) report += "http://h/" + std::to_string(i) + "\t 1\r\n";
    using namespace std::string_literals;
    report += "http://q.jp/n\0l\x01\tx\x7f\t 300\r\n"s;
    WriteFile(dir / "in.dat", report + "http://c.jp/<b>&'\"</b>\t 250\r\n");
    const std::string page = dir / "page.html";
    Cut({"--merge", "--format", "html", dir / "in.dat"}, page);
    EXPECT_NE(ReadFile(page).find("<a href=\"http://q.jp/n%00l%01%09x%7F\">"), std::string::npos);
    std::string chromium =
        "chromium --headless --no-sandbox --disable-gpu --user-data-dir=" + dir / "profile";
    if (System("chromium --version") != 0)
        GTEST_SKIP() << "chromium is not installed (scripts/setup.sh)";
    std::string dom;
    ASSERT_EQ(System(chromium + " --dump-dom file://" + page, &dom), 0);
    for (const std::string shown :
         {"<p>1 report, 124 entries, 124 distinct URLs. The 100 with the most hits.</p>",
          "<a href=\"http://q.jp/n%00l%01%09x%7F\">http://q.jp/n%00l%01%09x%7F</a></td><td "
          "class=\"n\">300</td>",
          "<td class=\"e\">javascript:alert(1)</td><td class=\"n\">500</td><td "
          "class=\"b\"><div style=\"width:100.0%\"></div>",
          "<td class=\"e\">ftp://x/</td><td class=\"n\">400</td><td class=\"b\"><div "
          "style=\"width:80.0%\"></div>",
          "<a href=\"http://c.jp/&lt;b&gt;&amp;'&quot;&lt;/b&gt;\">http://c.jp/"
          "&lt;b&gt;&amp;'\"&lt;/b&gt;</a></td><td class=\"n\">250</td>"})
        EXPECT_NE(dom.find(shown), std::string::npos) << shown << " is not in " << dom;
    const std::regex row("<tr><td");
    EXPECT_EQ(
        std::distance(std::sregex_iterator(dom.begin(), dom.end(), row), std::sregex_iterator()),
        100);
    EXPECT_EQ(dom.find("<script"), std::string::npos);
    ASSERT_EQ(System(chromium + " --hide-scrollbars --window-size=900,640 --screenshot=" +
                     KESTRIN_BINARY_DIR "/report-page.png file://" + page),
              0);
    EXPECT_GT(ReadFile(KESTRIN_BINARY_DIR "/report-page.png").size(), 10000u);
}

}  // namespace
}  // namespace kestrin
