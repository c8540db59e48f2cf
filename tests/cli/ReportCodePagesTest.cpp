// A report written in another code page than the logs' and merged back in that code
// page gives the logs' counts URL for URL, with no line twice, whatever the pages.

#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "TestFiles.h"
#include "os/CodePageTables.h"
#include "text/CodePage.h"

namespace kestrin {
namespace {

using namespace testing;

const char* const kPages[] = {"CP932", "UTF-8", "windows-1252", "CP936", "CP949", "CP950"};

// Pieces of URLs that make look-alikes of each other: escapes written out, bytes
// that are no text in some page, characters some page lacks, two codes of one
// CP932 character, and characters ICU would write as nothing (a soft hyphen, a
// zero-width space).
// clang-format off
const char* const kPieces[] = {
    "a", "/", "%", "82", "A0", "25", "%82", "%A0", "%25", "\x82", "\xa0", "\x81", "\xe3", "\x80",
    "\xff", "\xe9", "\xc3\xa9", "\xed\x40", "\xfa\x5c", "\x82\xa0", "\xe3\x81\x82", "\xa4\xa2",
    "\xb0\xa1", "\xf0\x9f\x98\x80", "\xc2\xad", "\xe2\x80\x8b"};
// clang-format on

std::string RandomLog(std::mt19937& random) {
    std::string log;
    for (int line = 0; line < 60; ++line) {
        log += "GET http://h/";
        for (std::uint32_t n = random() % 5; n-- > 0;)
            log += kPieces[random() % std::size(kPieces)];
        log += " x\n";
    }
    return log;
}

struct Entry {
    std::string url;
    std::uint64_t count;
};

std::vector<Entry> Entries(const std::string& report) {
    std::vector<Entry> entries;
    std::istringstream lines(report);
    for (std::string line; std::getline(lines, line);) {
        line.pop_back();  // the CR
        const std::size_t tab = line.rfind("\t ");
        entries.push_back({line.substr(0, tab), std::stoull(line.substr(tab + 2))});
    }
    return entries;
}

std::u16string Decoded(const CodePage& page, std::string_view bytes) {
    std::u16string units;
    page.Decode(bytes, units);
    return units;
}

// What a line of the report may stand for, in the logs' code page: its text, or
// its escapes read back as bytes (%XX as byte XX, each other character as its
// bytes in the logs' code page).
std::vector<std::u16string> Readings(const std::string& line, const CodePage& logs,
                                     const CodePage& report, os::CodePageEncoder& toLogs) {
    std::vector<std::u16string> readings{Decoded(report, line)};
    std::string bytes, character;
    for (std::size_t at = 0; at < line.size();) {
        if (line[at] == '%' && at + 2 < line.size() && std::isxdigit(std::uint8_t(line[at + 1])) &&
            std::isxdigit(std::uint8_t(line[at + 2]))) {
            bytes += char(std::stoi(line.substr(at + 1, 2), nullptr, 16));
            at += 3;
            continue;
        }
        const std::size_t length = report.CharLength(line, at);
        if (!toLogs.Encode(Decoded(report, line.substr(at, length)), character)) return readings;
        bytes += character;
        at += length;
    }
    readings.push_back(Decoded(logs, bytes));
    return readings;
}

// True when each line stands for one URL of the logs with its count, each URL for one line.
bool MatchesUrlForUrl(const std::vector<Entry>& lines, const std::vector<Entry>& urls,
                      const CodePage& logs, const CodePage& report, os::CodePageEncoder& toLogs) {
    if (lines.size() != urls.size()) return false;
    std::map<std::u16string, std::size_t> urlAt;
    for (std::size_t i = 0; i < urls.size(); ++i) urlAt[Decoded(logs, urls[i].url)] = i;
    std::vector<std::set<std::size_t>> stands(lines.size());
    for (std::size_t j = 0; j < lines.size(); ++j) {
        for (const std::u16string& reading : Readings(lines[j].url, logs, report, toLogs)) {
            const auto found = urlAt.find(reading);
            if (found != urlAt.end() && urls[found->second].count == lines[j].count)
                stands[j].insert(found->second);
        }
    }
    // A line may read as two URLs (the text /%82, and the byte 0x82): a matching of
    // lines to URLs must take them all.
    std::vector<int> lineOf(urls.size(), -1);
    std::function<bool(std::size_t, std::vector<bool>&)> place = [&](std::size_t j,
                                                                     std::vector<bool>& seen) {
        for (const std::size_t i : stands[j]) {
            if (seen[i]) continue;
            seen[i] = true;
            if (lineOf[i] < 0 || place(std::size_t(lineOf[i]), seen)) {
                lineOf[i] = int(j);
                return true;
            }
        }
        return false;
    };
    for (std::size_t j = 0; j < lines.size(); ++j) {
        std::vector<bool> seen(urls.size(), false);
        if (!place(j, seen)) return false;
    }
    return true;
}

// The exit status, and what was said.
std::pair<int, std::string> Cut(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = RunCommandLine(args, {out, err});
    return {status, err.str()};
}

// The count the warning gives before `what`, or 0.
std::size_t Warned(const std::string& err, const std::string& what) {
    const std::size_t at = err.find(what);
    if (at == std::string::npos) return 0;
    const std::size_t start = err.find_last_not_of("0123456789", at - 1) + 1;
    return std::stoul(err.substr(start, at - start));
}

TEST(ReportCodePages, AReportInAnyCodePageMergesBackToTheLogsCountsWithNoLineTwice) {
    TempDir dir;
    const std::string log = dir / "access.log", plain = dir / "plain.dat",
                      written = dir / "written.dat", merged = dir / "merged.dat";
    std::mt19937 random(21);
    std::size_t escaped = 0, lookAlikes = 0;
    for (int round = 0; round < 200; ++round) {
        const std::string from = kPages[random() % std::size(kPages)];
        const std::string to = kPages[random() % std::size(kPages)];
        const std::string name = from + " to " + to + ", round " + std::to_string(round);
        WriteFile(log, RandomLog(random));
        ASSERT_EQ(Cut({"--codepage", from, "-o", plain, log}).first, 0) << name;
        const auto [status, said] =
            Cut({"--codepage", from, "--report-codepage", to, "-o", written, log});
        ASSERT_EQ(status, 0) << name;
        ASSERT_EQ(Cut({"--merge", "--codepage", to, "-o", merged, written}).first, 0) << name;
        const std::vector<Entry> urls = Entries(ReadFile(plain));
        const std::vector<Entry> lines = Entries(ReadFile(written));
        std::set<std::string> distinct, mergedLines;
        for (const Entry& line : lines)
            distinct.insert(line.url + "\t" + std::to_string(line.count));
        for (const Entry& line : Entries(ReadFile(merged)))
            mergedLines.insert(line.url + "\t" + std::to_string(line.count));
        EXPECT_EQ(distinct.size(), lines.size()) << name;
        EXPECT_EQ(mergedLines, distinct) << name;
        const CodePage& logs = **CodePage::Shared(from);
        const CodePage& report = **CodePage::Shared(to);
        std::unique_ptr<os::CodePageEncoder> toLogs = std::move(*os::OpenEncoder(from));
        EXPECT_TRUE(MatchesUrlForUrl(lines, urls, logs, report, *toLogs)) << name;
        if (logs.DecodesAlike(report)) {
            EXPECT_EQ(ReadFile(written), ReadFile(plain)) << name;
        }
        escaped += Warned(said, " URL has bytes") + Warned(said, " URLs have bytes");
        lookAlikes += Warned(said, " URL that would") + Warned(said, " URLs that would");
    }
    // The rounds met both kinds of line the rule makes.
    EXPECT_GT(escaped, 1000u) << escaped;
    EXPECT_GT(lookAlikes, 20u) << lookAlikes;
}

}  // namespace
}  // namespace kestrin
