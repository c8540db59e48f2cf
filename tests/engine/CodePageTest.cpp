#include <gtest/gtest.h>

#include "CodePages.h"

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

}  // namespace
}  // namespace kestrin
