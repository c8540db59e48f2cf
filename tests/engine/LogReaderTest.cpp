#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

#include "LogReader.h"

namespace kestrin {
namespace {

using namespace std::string_literals;
using Line = std::pair<std::string, std::int64_t>;  // the line and ReadPos after it
const Line kEnd{"", -100};

// Every call of a whole read, the one that finds the end included.
std::vector<Line> ReadAll(const std::string& log, std::size_t bufferSize = 1 << 20) {
    int fd = memfd_create("log", 0);
    EXPECT_EQ(pwrite(fd, log.data(), log.size(), 0), ssize_t(log.size()));
    LogReader reader(fd, bufferSize);
    std::vector<Line> lines;
    for (std::int64_t readPos = 1; readPos > 0;) {
        std::string line(ReadLogLine(reader, readPos));
        lines.emplace_back(line, readPos);
    }
    close(fd);
    return lines;
}

std::string X(std::size_t n) {
    return std::string(n, 'x');
}

std::string Kana(std::size_t n) {  // n two-byte hiragana
    std::string text;
    while (n-- > 0) text += "\x82\xa0";
    return text;
}

TEST(LogReader, TerminatorsNulsAndLongLines) {
    struct Case {
        const char* name;
        std::string log;
        std::vector<Line> lines;
    };
    const Case cases[] = {
        {"CR LF", "ab\r\ncd\r\n", {{"ab", 5}, {"cd", 9}, kEnd}},
        {"LF", "ab\ncd\n", {{"ab", 4}, {"cd", 7}, kEnd}},
        {"CR", "ab\rcd\r", {{"ab", 4}, {"cd", 7}, kEnd}},
        {"LF CR", "ab\n\rcd\n", {{"ab", 4}, {"", 5}, {"cd", 8}, kEnd}},
        {"CR CR LF", "ab\r\r\ncd", {{"ab", 4}, {"", 6}, {"cd", 9}, kEnd}},
        {"unterminated last line", "ab\ncd", {{"ab", 4}, {"cd", 7}, kEnd}},
        {"empty log", "", {kEnd}},
        {"1022 bytes, CR LF", X(1022) + "\r\n", {{X(1022), 1025}, kEnd}},
        {"1023 bytes, CR LF", X(1023) + "\r\nz", {{X(1023), 1025}, {"", 1026}, {"z", 1028}, kEnd}},
        {"NUL before a break", "a\0b\r\n"s, {{"a\0b"s, 6}, kEnd}},
        {"NUL, no break", "a\0b"s, {{"a", 3}, {"b", 5}, kEnd}},
        {"NUL run", "\0\0"s, {{"", 2}, {"", 3}, kEnd}},
        {"long line, CR LF", X(1500) + "\r\nb", {{X(1500), 1503}, {"b", 1505}, kEnd}},
        {"long line, NUL", X(1100) + "\0y\n"s, {{X(1100) + "\0y"s, 1104}, kEnd}},
        {"long line, LF CR", X(1024) + "\n\r", {{X(1024), 1026}, {"", 1027}, kEnd}},
        {"long last line", X(2000), {{X(2000), 2002}, kEnd}},
        {"double-byte", Kana(3) + "\r\n" + Kana(1), {{Kana(3), 9}, {Kana(1), 12}, kEnd}},
        {"long double-byte", Kana(600) + "\n", {{Kana(600), 1202}, kEnd}},
    };
    for (const Case& c : cases) EXPECT_EQ(ReadAll(c.log), c.lines) << c.name;
}

TEST(LogReader, NulRunLongerThanTheWindow) {
    std::vector<Line> lines = ReadAll("a\n" + std::string(3000, '\0') + "\nb\n");
    // A NUL ends a line only while the window holds no LF: the last 1023 stay in one.
    ASSERT_EQ(lines.size(), 1981u);
    EXPECT_EQ(lines[1977], Line("", 1980));
    EXPECT_EQ(lines[1978], Line(std::string(1023, '\0'), 3004));
    EXPECT_EQ(lines[1979], Line("b", 3006));
}

TEST(LogReader, SmallBufferGivesTheSameLinesAtExactPositions) {
    const std::string texts[] = {"", "ab", X(1022), X(1023), X(1024), X(5000) + Kana(9)};
    const std::string ends[] = {"\r\n", "\n", "\r", "\n\r", "\0"s};
    std::mt19937 random(7);
    std::string log;
    for (int i = 0; i < 400; ++i) log += texts[random() % 6] + ends[random() % 5];
    std::vector<Line> lines = ReadAll(log, 2048);
    EXPECT_EQ(lines, ReadAll(log));
    std::int64_t start = 1;
    for (const auto& [text, next] : lines) {
        if (next < 0) break;
        ASSERT_EQ(log.substr(std::size_t(start - 1), text.size()), text) << "at " << start;
        start = next;
    }
    EXPECT_EQ(start, std::int64_t(log.size()) + 1);
}

}  // namespace
}  // namespace kestrin
