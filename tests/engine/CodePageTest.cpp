// The code pages the README names read the same tables from ICU here as from
// Windows itself in the Windows build: each part of a page's tables is summed up in
// a digest that tests/data/codepage-digests holds, written by this build. A part
// that is known to differ on one system is left out there, with why.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "os/CodePageTables.h"
#include "text/CodePage.h"

namespace kestrin {
namespace {

using namespace testing;

// The parts of a page's tables, each as text: what is compared, digest by digest.
std::map<std::string, std::string> PartsOf(const os::CodePageTables& tables) {
    std::map<std::string, std::ostringstream> parts;
    char line[64];
    for (int b = 0; b < 256; ++b) {
        if (tables.lead[b]) parts["lead"] << b << ' ';
        std::snprintf(line, sizeof line, "%02X %X\n", b, unsigned(tables.singles[b]));
        parts["singles"] << line;
        const char32_t lower = tables.singles[b] < 0x110000 ? tables.lowerSingles[b] : 0;
        std::snprintf(line, sizeof line, "%02X %X\n", b, unsigned(lower));
        parts["lower"] << line;
        for (int t = 0; tables.lead[b] && t < 256; ++t) {
            const char32_t pair = tables.Pair(std::uint8_t(b), std::uint8_t(t));
            // Which bytes make one character, and what the assigned ones decode to.
            parts["splits"] << (pair == os::CodePageTables::kNotPair ? '.' : '2');
            if (pair < 0x110000) {
                std::snprintf(line, sizeof line, "%02X%02X %X\n", b, t, unsigned(pair));
                parts["pairs"] << line;
            }
        }
    }
    for (int b = 0; b < 256; ++b) parts["one-byte"] << int(tables.writtenAsOneByte[b]);
    std::map<std::string, std::string> texts;
    for (auto& [name, text] : parts) texts[name] = text.str();
    return texts;
}

// FNV-1a: the same on every system, unlike std::hash.
std::string Digest(const std::string& text) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (const char byte : text) hash = (hash ^ std::uint8_t(byte)) * 0x100000001b3ULL;
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
    return hex;
}

TEST(CodePages, TheTablesOfEveryPageAreThoseOfTheDigests) {
    // "page part digest" a line; "page part -" for a part one system reads otherwise.
    std::map<std::string, std::string> expected;
    std::istringstream digests(TestData("codepage-digests"));
    for (std::string page, part, digest; digests >> page >> part >> digest;) {
        std::string why;
        std::getline(digests, why);
        expected[page + " " + part] = digest;
    }
    std::ostringstream written;
    for (const char* page : {"CP932", "CP936", "CP949", "CP950", "windows-1252"}) {
        const Result<os::CodePageTables> tables = os::ReadCodePageTables(page);
        ASSERT_TRUE(tables) << page << ": " << tables.Failure().Reason();
        for (const auto& [part, text] : PartsOf(*tables)) {
            const std::string key = std::string(page) + " " + part;
            written << key << ' ' << Digest(text) << '\n';
            EXPECT_TRUE(expected.count(key)) << key << " has no digest";
            if (expected.count(key) && expected[key] != "-") {
                EXPECT_EQ(Digest(text), expected[key]) << key;
            }
            // What was read, to set beside what the other system reads.
            WriteFile(std::string(KESTRIN_BINARY_DIR "/codepage-") + page + "-" + part + ".txt",
                      text);
        }
    }
    WriteFile(KESTRIN_BINARY_DIR "/codepage-digests", written.str());
}

// A page the program has built in is what the system's converter reads, under every
// name of it, UTF-8's too.
TEST(CodePages, APageBuiltInIsTheSystemsOwn) {
    for (const char* name : {"CP932", "Shift_JIS", "windows-31j", "MS932", "sjis", "IBM-932",
                             "windows-1252", "utf-8", "UTF8", "CP65001"}) {
        const Result<os::CodePageTables> read = os::ReadCodePageTables(name);
        const Result<os::CodePageTables> system = os::ReadSystemCodePageTables(name);
        ASSERT_TRUE(read && system) << name;
        EXPECT_EQ(read->utf8, system->utf8) << name;
        EXPECT_EQ(read->lead, system->lead) << name;
        EXPECT_EQ(read->singles, system->singles) << name;
        EXPECT_EQ(read->pairRow, system->pairRow) << name;
        EXPECT_EQ(std::vector(read->Pairs().begin(), read->Pairs().end()),
                  std::vector(system->Pairs().begin(), system->Pairs().end()))
            << name;
        EXPECT_EQ(read->writtenAsOneByte, system->writtenAsOneByte) << name;
        EXPECT_EQ(read->lowerSingles, system->lowerSingles) << name;
    }
}

// Every name of the README's table opens its Windows code page on both systems: a
// byte or a pair only that page decodes so, the same here as under Windows, in its
// tables and in the code page a run decodes with (which holds the rows it read, or
// the program's own); a lead byte before a line break is one byte of its own.
TEST(CodePages, EveryNameOfTheTableReadsItsWindowsPage) {
    const struct {
        const char* name;
        std::string bytes;
        char32_t character;
    } cases[] = {
        {"utf-8", "", 0},
        {"CP65001", "", 0},
        {"Shift_JIS", "\x82\xa0", U'あ'},
        {"Windows-31J", "\x87\x40", U'①'},
        {"GBK", "\x81\x40", U'丂'},
        {"GB2312", "\x81\x40", U'丂'},  // read as GBK: no EUC-CN has the pair
        {"Big5", "\xa4\x40", U'一'},
        {"UHC", "\x81\x41", U'갂'},
        {"EUC-KR", "\x81\x41", U'갂'},  // read as 949: ICU's own EUC-KR lacks the pair
        {"TIS-620", "\xa1", U'ก'},
        {"KOI8-R", "\xc1", U'а'},
        {"KOI8-U", "\xa4", U'є'},
        {"US-ASCII", "A", U'A'},
        {"latin1", "\xe9", U'é'},
        {"ISO-8859-2", "\xa1", U'Ą'},
        {"iso-8859-15", "\xa4", U'€'},
        {"CP1251", "\xc0", U'А'},
        {"IBM-437", "\x80", U'Ç'},
        {"cp850", "\x9b", U'ø'},
        {"CP866", "\x80", U'А'},
    };
    for (const auto& c : cases) {
        const Result<os::CodePageTables> tables = os::ReadCodePageTables(c.name);
        ASSERT_TRUE(tables) << c.name << ": " << tables.Failure().Reason();
        EXPECT_EQ(tables->utf8, c.bytes.empty()) << c.name;
        if (c.bytes.empty()) continue;
        const auto first = std::uint8_t(c.bytes[0]);
        const char32_t read = c.bytes.size() == 1 ? tables->singles[first]
                                                  : tables->Pair(first, std::uint8_t(c.bytes[1]));
        EXPECT_EQ(unsigned(read), unsigned(c.character)) << c.name;
        const Result<std::unique_ptr<CodePage>> page = CodePage::Open(c.name);
        ASSERT_TRUE(page) << c.name << ": " << page.Failure().Reason();
        std::u16string units;
        (*page)->Decode(c.bytes, units);
        EXPECT_EQ(units, std::u16string(1, char16_t(c.character))) << c.name;
        EXPECT_EQ((*page)->CharLength(c.bytes, 0), c.bytes.size()) << c.name;
        EXPECT_EQ((*page)->CharLength(c.bytes.substr(0, 1) + "\n", 0), 1u) << c.name;
    }
    for (const char* name : {"UTF-16", "CP0", "CP123456", "windows-", "ISO-8859-", "EUC-JP"})
        EXPECT_FALSE(os::ReadCodePageTables(name)) << name;
}

}  // namespace
}  // namespace kestrin
