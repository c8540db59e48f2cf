#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text/CodePage.h"

namespace kestrin {

/// The schemes whose URLs a run cuts.
struct Schemes {
    bool http = true;
    bool https = false;
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

  private:
    friend std::optional<std::string_view> ExtractUrl(std::string_view line,
                                                      const CuttingRule& rule);

    std::size_t FindHttp(std::string_view line) const;
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
};

/// Cuts the first "http://" URL (or of the rule's schemes, the one that starts
/// first) out of `line`: from the "http://" (in any letter case) up to the first keyword at or
/// after it, or to the end of the line. The URL keeps the bytes and letter case of the line. No
/// "http://": nothing.
std::optional<std::string_view> ExtractUrl(std::string_view line, const CuttingRule& rule);

}  // namespace kestrin
