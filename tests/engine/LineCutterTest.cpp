// The line rules, each case cut with every buffer size over two kilobytes, so that
// the buffer's end falls on every byte of it: a CR LF, a window's end, a run of NULs,
// a scheme, a URL longer than the buffer, a pair of a double-byte code page.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "input/LineCutter.h"
#include "text/CodePage.h"
#include "text/CuttingRule.h"

namespace kestrin {
namespace {

class MemorySource : public ByteSource {
  public:
    explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
    Result<std::size_t> Read(char* into, std::size_t size) override {
        const std::size_t part = std::min(size, bytes_.size() - at_);
        std::memcpy(into, bytes_.data() + at_, part);
        at_ += part;
        return part;
    }
    std::int64_t Consumed() const override { return std::int64_t(at_); }

  private:
    std::string_view bytes_;
    std::size_t at_ = 0;
};

std::string Times(std::size_t count, const std::string& text) {
    std::string repeated;
    for (std::size_t i = 0; i < count; ++i) repeated += text;
    return repeated;
}

TEST(LineCutter, EveryLineRuleHoldsWhereverTheBufferEnds) {
    const std::string nul(1, '\0'), longUrl = "http://" + std::string(9000, 'u');
    const CodePage& page = **CodePage::Shared("CP932");
    // Lines of their own before each case, so that the first buffer ends in it.
    const std::string lead = Times(512, "abc\n");
    const auto expect = [&](const char* rule, const std::string& text, std::uint64_t lines,
                            const std::vector<std::string>& expected, char16_t keyword = u' ') {
        const CuttingRule cuttingRule(page, keyword);
        const std::string log = lead + text;
        for (std::size_t bufferSize = 2048; bufferSize < 2048 + 2600; ++bufferSize) {
            MemorySource source(log);
            LineCutter cutter(source, cuttingRule, bufferSize);
            std::vector<std::string> urls;
            for (bool more = true; more;) {
                more = cutter.Cut();
                urls.insert(urls.end(), cutter.Urls().begin(), cutter.Urls().end());
            }
            ASSERT_EQ(std::tuple(cutter.LinesCut(), urls, cutter.Failure().has_value()),
                      std::tuple(512 + lines, expected, false))
                << rule << ", a buffer of " << bufferSize << " bytes";
        }
    };
    expect("CR, LF and CR LF end lines; a CR before CR LF ends one of its own",
           "http://a/\rhttp://b/\nhttp://c/\r\nhttp://d/\n\r\r\nhttp://e/ x\n", 7,
           {"http://a/", "http://b/", "http://c/", "http://d/", "http://e/"});
    expect("a CR LF is one terminator only when the window holds the LF",
           "http://w/" + std::string(1014, 'w') + "\r\nhttp://v/" + std::string(1013, 'v') + "\r\n",
           3, {"http://w/" + std::string(1014, 'w'), "http://v/" + std::string(1013, 'v')});
    expect("a line that runs on past its window ends at its CR LF wherever the LF lies",
           std::string(1500, 'x') + " HTTP://s/ y\r\n" + std::string(3000, 'x') + "\r\n\n", 3,
           {"HTTP://s/"});
    expect("a NUL ends a line whose window holds no break, and is a byte of one that does",
           "http://n/" + nul + "http://m/ q" + nul + std::string(1100, 'z') + nul + "z\n" +
               "http://a" + nul + "b/ x\n",
           4, {"http://n/", "http://m/", "http://a" + nul + "b/"});
    expect("each NUL is an empty line but for those within 1023 bytes of a break",
           std::string(1500, '\0') + "\nhttp://a/ x\n" + std::string(3000, '\0'), 3479,
           {"http://a/"});
    expect("the last line needs no terminator, however long",
           "http://a/ x\nhttp://q/" + std::string(3000, 'q'), 2,
           {"http://a/", "http://q/" + std::string(3000, 'q')});
    expect("a URL longer than the buffer ends at its keyword, its line's end or the log's",
           "GET " + longUrl + " x\n" + longUrl + "\r\n" + longUrl, 3, {longUrl, longUrl, longUrl});
    expect("a scheme is found whole wherever the buffer cuts it, and only a whole one",
           std::string(1200, 'x') + " http:/ http//h ttp:// hTtP:/x httP://h/ " +
               std::string(2000, 'x') + "\nhttp:" + std::string(1200, '/') + "\n",
           2, {"httP://h/", "http:" + std::string(1200, '/')});
    expect("a double-byte pair hides an h or a keyword that is its trail byte",
           std::string(1100, 'x') + "\x82http://no/ \x82\x82http://yes/ x\n" +
               std::string(1100, 'x') + Times(501, "\x82") + "http://odd/ x\n" +
               std::string(1100, 'x') + Times(500, "\x82") + "http://even/" +
               Times(700, "\x82\x61") + "/ a\n",
           3, {"http://yes/ x", "http://even/" + Times(700, "\x82\x61") + "/ "}, u'a');
    expect(
        "on a short line too: a trail byte is no keyword and hides an h, and a :// without "
        "its scheme is passed over",
        "://x ftp://y http://z/\x82\x61/ a\nx\x82http://no/ a\n", 2, {"http://z/\x82\x61/ "}, u'a');
    expect("the keyword h makes the URL empty", std::string(2000, 'y') + "http://a/\nhttp://b/\n",
           2, {"", ""}, u'h');
}

}  // namespace
}  // namespace kestrin
