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

/// A line cut from the start of a window of the log: the bytes up to the next
/// line's start, and the URL the line yields, if any.
struct CutLine {
    std::size_t next;
    std::optional<std::string_view> url;
};

/// The cutting rule of a run: the code page's view of "http://" and the keyword.
///
/// The search works on the line as if every single-byte character were lower-cased
/// first (double-byte characters are left alone), and finds "http://" and the
/// keyword only where a character starts: a trail byte that looks like an "h" is
/// not one.
class CuttingRule {
  public:
    /// `keyword` is one UTF-16 code unit that takes one byte in the code page, or
    /// that the code page cannot represent (and so is never found).
    CuttingRule(const CodePage& codePage, char16_t keyword, Schemes schemes = {});

    /// The line at the start of `window` (the log's bytes from a line's start, up to
    /// the reader's window or the log's end) and its URL, as the reader and
    /// ExtractUrl would find them, in one pass over the line's bytes. Nothing when
    /// the window holds no CR or LF: the reader then decides where the line ends.
    std::optional<CutLine> CutFirstLine(std::string_view window) const;

  private:
    friend std::optional<std::string_view> ExtractUrl(std::string_view line,
                                                      const CuttingRule& rule);

    std::size_t FindHttp(std::string_view line) const;
    // Where the URL whose "://" is at `colon` starts, or npos when no scheme of the
    // rule ends there.
    std::size_t SchemeStart(std::string_view line, std::size_t colon) const;
    // The next colon worth checking: with ASCII ':' and '/', only one of "://".
    std::size_t FindColon(std::string_view line, std::size_t from) const;
    std::size_t FindKeyword(std::string_view line, std::size_t from) const;
    std::size_t FindFirstOf(std::string_view line, std::size_t from,
                            const std::vector<unsigned char>& bytes) const;

    const CodePage& page_;
    // Bytes whose single-byte character searches as ':' and as the keyword.
    std::vector<unsigned char> colonBytes_;
    std::vector<unsigned char> keywordBytes_;
    bool asciiSeparators_;
    Schemes schemes_;
    std::array<bool, 256> isKeywordByte_{};
    // The one-pass cut needs ASCII separators and few enough keyword bytes.
    bool onePass_ = false;
    scan::ByteSet keywordSet_;
    const scan::LineSearches& searches_ = scan::FastestLineSearches();
};

/// Cuts the first "http://" URL (or of the rule's schemes, the one that starts
/// first) out of `line`: from the "http://" (in any letter case) up to the first keyword at or
/// after it, or to the end of the line. The URL keeps the bytes and letter case of the line. No
/// "http://": nothing.
std::optional<std::string_view> ExtractUrl(std::string_view line, const CuttingRule& rule);

}  // namespace kestrin
