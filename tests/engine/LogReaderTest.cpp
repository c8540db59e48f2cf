#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

#include "input/LogReader.h"

namespace kestrin {
namespace {

using namespace std::string_literals;
using Line = std::pair<std::string, std::int64_t>;  // the line and its position

// Every line of a whole read.
std::vector<Line> ReadAll(const std::string& log, std::size_t bufferSize = 1 << 20) {
    int fd = memfd_create("log", 0);
    EXPECT_EQ(pwrite(fd, log.data(), log.size(), 0), ssize_t(log.size()));
    LogReader reader(fd, bufferSize);
    std::vector<Line> lines;
    while (std::optional<LogLine> line = reader.NextLine()) {
        lines.emplace_back(std::string(line->text), line->position);
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
        {"CR LF", "ab\r\ncd\r\n", {{"ab", 1}, {"cd", 5}}},
        {"LF", "ab\ncd\n", {{"ab", 1}, {"cd", 4}}},
        {"CR", "ab\rcd\r", {{"ab", 1}, {"cd", 4}}},
        {"LF CR", "ab\n\rcd\n", {{"ab", 1}, {"", 4}, {"cd", 5}}},
        {"CR CR LF", "ab\r\r\ncd", {{"ab", 1}, {"", 4}, {"cd", 6}}},
        {"unterminated last line", "ab\ncd", {{"ab", 1}, {"cd", 4}}},
        {"empty log", "", {}},
        {"1022 bytes, CR LF", X(1022) + "\r\n", {{X(1022), 1}}},
        {"1023 bytes, CR LF", X(1023) + "\r\nz", {{X(1023), 1}, {"", 1025}, {"z", 1026}}},
        {"NUL before a break", "a\0b\r\n"s, {{"a\0b"s, 1}}},
        {"NUL, no break", "a\0b"s, {{"a", 1}, {"b", 3}}},
        {"NUL run", "\0\0"s, {{"", 1}, {"", 2}}},
        {"long line, CR LF", X(1500) + "\r\nb", {{X(1500), 1}, {"b", 1503}}},
        {"long line, NUL", X(1100) + "\0y\n"s, {{X(1100) + "\0y"s, 1}}},
        {"long line, LF CR", X(1024) + "\n\r", {{X(1024), 1}, {"", 1026}}},
        {"long last line", X(2000), {{X(2000), 1}}},
        {"double-byte", Kana(3) + "\r\n" + Kana(1), {{Kana(3), 1}, {Kana(1), 9}}},
        {"long double-byte", Kana(600) + "\n", {{Kana(600), 1}}},
    };
    for (const Case& c : cases) EXPECT_EQ(ReadAll(c.log), c.lines) << c.name;
}

TEST(LogReader, NulRunLongerThanTheWindow) {
    std::vector<Line> lines = ReadAll("a\n" + std::string(3000, '\0') + "\nb\n");
    // A NUL ends a line only while the window holds no LF: the last 1023 stay in one.
    ASSERT_EQ(lines.size(), 1980u);
    EXPECT_EQ(lines[1977], Line("", 1979));
    EXPECT_EQ(lines[1978], Line(std::string(1023, '\0'), 1980));
    EXPECT_EQ(lines[1979], Line("b", 3004));
}

TEST(LogReader, SmallBufferGivesTheSameLinesAtExactPositions) {
    const std::string texts[] = {"", "ab", X(1022), X(1023), X(1024), X(5000) + Kana(9)};
    const std::string ends[] = {"\r\n", "\n", "\r", "\n\r", "\0"s};
    std::mt19937 random(7);
    std::string log;
    for (int i = 0; i < 400; ++i) log += texts[random() % 6] + ends[random() % 5];
    std::vector<Line> lines = ReadAll(log, 2048);
    EXPECT_EQ(lines, ReadAll(log));
    std::int64_t lineEnd = 1;  // no line starts before the previous one and its terminator
    for (const auto& [text, position] : lines) {
        ASSERT_GT(position, lineEnd - 1) << "at " << position;
        ASSERT_EQ(log.substr(std::size_t(position - 1), text.size()), text) << "at " << position;
        lineEnd = position + std::int64_t(text.size()) + 1;
    }
}

}  // namespace
}  // namespace kestrin
