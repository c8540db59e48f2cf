#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text/ByteScan.h"
#include "text/CodePage.h"

namespace kestrin {

/// The schemes whose URLs a run cuts.
struct Schemes {
    bool http = true;
    bool https = false;
};

/// Bytes cut at their first line break: where it is, and the URL of the bytes before it.
struct UrlBeforeBreak {
    /// The first CR or LF; the size of the bytes when they hold none, and the URL is
    /// then not looked for.
    std::size_t lineBreak;
    std::optional<std::string_view> url;
};

/// The cutting rule of a run: the code page's view of "http://" and the keyword,
/// which cut a URL out of a line's bytes. Where lines end is the reader's business.
///
/// The search works on the bytes as if every single-byte character were lower-cased
/// first (double-byte characters are left alone), and finds "http://" and the
/// keyword only where a character starts: a trail byte that looks like an "h" is
/// not one. Every search takes bytes whose first byte starts a character.
class CuttingRule {
  public:
    /// `keyword` is one UTF-16 code unit that takes one byte in the code page, or
    /// that the code page cannot represent (and so is never found).
    CuttingRule(const CodePage& codePage, char16_t keyword, Schemes schemes = {});

    /// The first CR or LF of `bytes` and the URL ExtractUrl finds before it, in one
    /// pass over those bytes: a short line's end and its URL are found together.
    UrlBeforeBreak CutBeforeBreak(std::string_view bytes) const;

    // For a line that runs on past what is read of it, searched a piece at a time.

    /// Where the first URL whose "://" starts at `from` or after starts (it may start
    /// before `from`), or npos. A "://" must lie whole in `bytes` to count: one that
    /// runs past their end is looked for again in the bytes that follow.
    std::size_t FindUrlStart(std::string_view bytes, std::size_t from) const;
    /// The first keyword at `from` or after that starts a character, or npos.
    /// `from` must start a character.
    std::size_t FindKeyword(std::string_view bytes, std::size_t from) const;

    const CodePage& Page() const { return page_; }

    // For a cut from masks of the bytes (CR or LF, "://", the keyword's bytes).

    /// Whether such masks can cut by this rule: ':' and '/' are ASCII bytes, the
    /// keyword is a few single bytes, none of "https://", so that its first byte
    /// after a URL's "://" is its first after the URL's start.
    bool CutsByMasks() const { return byMasks_; }
    const scan::ByteSet& KeywordSet() const { return keywordSet_; }
    /// Where the URL whose "://" is at `colon` of `bytes` starts, or npos when no
    /// scheme of the rule ends there.
    std::size_t SchemeStart(std::string_view bytes, std::size_t colon) const;

  private:
    // The next colon worth checking: with ASCII ':' and '/', only one of "://".
    std::size_t FindColon(std::string_view bytes, std::size_t from) const;
    std::size_t FindFirstOf(std::string_view bytes, std::size_t from,
                            const std::vector<unsigned char>& set) const;

    const CodePage& page_;
    // Bytes whose single-byte character searches as ':' and as the keyword.
    std::vector<unsigned char> colonBytes_;
    std::vector<unsigned char> keywordBytes_;
    bool asciiSeparators_;
    Schemes schemes_;
    std::array<bool, 256> isKeywordByte_{};
    // The one-pass cut needs ASCII separators and few enough keyword bytes.
    bool onePass_ = false;
    bool byMasks_ = false;
    scan::ByteSet keywordSet_;
    const scan::LineSearches& searches_ = scan::FastestLineSearches();
};

/// Cuts the first "http://" URL (or of the rule's schemes, the one that starts
/// first) out of `line` (a line's bytes, without its terminator): from the "http://"
/// (in any letter case) up to the first keyword at or after it, or to the end of the
/// line. The URL keeps the bytes and letter case of the line. No "http://": nothing.
std::optional<std::string_view> ExtractUrl(std::string_view line, const CuttingRule& rule);

}  // namespace kestrin
