#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "CodePages.h"
#include "text/CuttingRule.h"

namespace kestrin {
namespace {

TEST(CodePage, AnsiLengthCountsBytesInTheCodePage) {
    struct Case {
        const char* codePage;
        std::u16string text;
        int length;
    };
    const Case cases[] = {
        {"CP932", u"", 0},       {"CP932", u"ab", 2},           {"CP932", u"\u3042", 2},
        {"CP932", u"\uff71", 1}, {"CP932", u"\u00e9", 1},       {"windows-1252", u"\u20ac", 1},
        {"CP936", u"\u4e2d", 2}, {"windows-949", u"\ud55c", 2}, {"CP950", u"\u4e2d", 2},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(AnsiLength(c.text, testing::Page(c.codePage)), c.length)
            << c.codePage << ", first unit " << int(c.text.empty() ? 0 : c.text[0]);
    }
}

struct Case {
    const char* codePage;
    char16_t keyword;
    std::string line;
    std::optional<std::string> url;
};

void ExpectCuts(const Case& c) {
    CuttingRule rule(testing::Page(c.codePage), c.keyword);
    std::optional<std::string_view> url = ExtractUrl(c.line, rule);
    EXPECT_EQ(url ? std::optional<std::string>(*url) : std::nullopt, c.url)
        << c.codePage << " keyword U+" << std::hex << int(c.keyword) << " in " << c.line;
}

TEST(CuttingRule, CutsTheFirstHttpUrlUpToTheKeyword) {
    const Case cases[] = {
        {"CP932", u' ', "GET http://a.jp/x?q=1 HTTP/1.1", "http://a.jp/x?q=1"},
        {"CP932", u'"', "\"http://a.jp/ b\" 200", "http://a.jp/ b"},
        {"CP932", u',', "a,b http://c,d", "http://c"},
        {"CP932", u' ', "HtTp://A.JP/X y", "HtTp://A.JP/X"},
        {"CP932", u'q', "http://a.jp/Query", "http://a.jp/"},
        {"CP932", u'Q', "http://a.jp/Qq", "http://a.jp/Qq"},
        {"CP932", u'/', "x HTTP://a.jp/", "HTTP:"},
        {"CP932", u'h', "x http://a.jp/", ""},
        {"CP932", u':', "http://a.jp:80/", "http"},
        {"CP932", u' ', "http://a.jp/ http://b.jp/", "http://a.jp/"},
        {"CP932", u' ', "x http://", "http://"},
        {"CP932", u'\u00e9', "http://a.jp/ x", "http://a.jp/ x"},  // not in CP932
        {"CP932", u' ', "https://a.jp/ x", std::nullopt},
        {"CP932", u' ', "http:/a.jp/ http:", std::nullopt},
    };
    for (const Case& c : cases) ExpectCuts(c);
}

TEST(CuttingRule, TrailBytesAreNeitherHNorTheKeyword) {
    const Case cases[] = {
        {"CP932", u' ', "\x83http://a.jp/", std::nullopt},
        {"CP932", u' ', "\x85http://a.jp/", std::nullopt},  // unassigned pair
        {"CP932", u' ', "\x82\xa0http://a.jp/ x", "http://a.jp/"},
        {"CP932", u' ', "http://a/\x81", "http://a/\x81"},  // a lead byte ends the line
        {"CP932", u' ', "http://a/\x81 x", "http://a/\x81"},
        {"CP932", u'b', "http://a/\x83\x62\x62", "http://a/\x83\x62"},
        {"CP932", u'\\', "http://\x95\x5c\\x", "http://\x95\x5c"},
        {"CP932", u'\uff71', "http://a\xb1x", "http://a"},
        {"CP936", u' ', "\x81http://a", std::nullopt},
        {"windows-949", u' ', "\x81http://a", std::nullopt},
        {"windows-949", u'a', "http://\x81\x61\x61", "http://\x81\x61"},
        {"CP949", u' ', "\x81http://a", std::nullopt},  // CP949 names the Windows table
        {"CP950", u' ', "\xa4http://a", std::nullopt},
        {"CP950", u'b', "http://\xa4\x62\x62", "http://\xa4\x62"},
        {"windows-1252", u'\u00e9', "http://caf\xc9!", "http://caf"},
        {"windows-1252", u' ', "\x83http://a b", "http://a"},
    };
    for (const Case& c : cases) ExpectCuts(c);
}

}  // namespace
}  // namespace kestrin
