#include "text/CuttingRule.h"

#include <cstring>

#include "input/LineBreaks.h"
#include "text/ByteScan.h"

namespace kestrin {
namespace {

constexpr std::size_t kNone = std::string_view::npos;

// Single-byte characters only: a lead byte stands for U+DC00 + byte only when no
// trail byte follows, so it is never taken for a character the user typed.
std::vector<unsigned char> BytesSearchingAs(const CodePage& page, char16_t unit) {
    std::vector<unsigned char> bytes;
    for (int b = 0; b < 256; ++b) {
        if (!page.IsLead(std::uint8_t(b)) && page.SearchUnit(std::uint8_t(b)) == unit)
            bytes.push_back(static_cast<unsigned char>(b));
    }
    return bytes;
}

}  // namespace

CuttingRule::CuttingRule(const CodePage& codePage, char16_t keyword, Schemes schemes)
    : page_(codePage),
      colonBytes_(BytesSearchingAs(codePage, u':')),
      keywordBytes_(BytesSearchingAs(codePage, keyword)),
      asciiSeparators_(colonBytes_ == std::vector<unsigned char>{':'} &&
                       BytesSearchingAs(codePage, u'/') == std::vector<unsigned char>{'/'}),
      schemes_(schemes) {
    for (unsigned char byte : keywordBytes_) isKeywordByte_[byte] = true;
    onePass_ = asciiSeparators_ && keywordBytes_.size() <= scan::ByteSet::kMax;
    if (onePass_) {
        for (unsigned char byte : keywordBytes_) keywordSet_.values[keywordSet_.count++] = byte;
    }
}

std::size_t CuttingRule::FindFirstOf(std::string_view line, std::size_t from,
                                     const std::vector<unsigned char>& bytes) const {
    if (bytes.size() == 1) {
        if (from >= line.size()) return kNone;
        const void* hit = std::memchr(line.data() + from, bytes[0], line.size() - from);
        return hit == nullptr ? kNone : std::size_t(static_cast<const char*>(hit) - line.data());
    }
    std::size_t first = kNone;
    std::size_t limit = line.size();
    for (unsigned char byte : bytes) {
        if (from >= limit) break;
        const void* hit = std::memchr(line.data() + from, byte, limit - from);
        if (hit != nullptr) {
            first = std::size_t(static_cast<const char*>(hit) - line.data());
            limit = first;
        }
    }
    return first;
}

std::size_t CuttingRule::FindColon(std::string_view line, std::size_t from) const {
    if (from >= line.size()) return kNone;
    if (!asciiSeparators_) return FindFirstOf(line, from, colonBytes_);
    const std::size_t at = from + searches_.findSeparator(line.data() + from, line.size() - from);
    return at == line.size() ? kNone : at;
}

std::size_t CuttingRule::SchemeStart(std::string_view line, std::size_t colon) const {
    // The colon of "://" and the characters before it: "https" and "http" cannot
    // end at one colon.
    static constexpr char16_t kBefore[] = u"https";
    const auto matches = [&](std::size_t start, std::size_t length) {
        for (std::size_t i = 0; i < length; ++i) {
            if (page_.SearchUnit(std::uint8_t(line[start + i])) != kBefore[i]) return false;
        }
        return page_.IsBoundary(line, 0, start);
    };
    if (schemes_.http && colon >= 4 && matches(colon - 4, 4)) return colon - 4;
    if (schemes_.https && colon >= 5 && matches(colon - 5, 5)) return colon - 5;
    return kNone;
}

std::size_t CuttingRule::FindHttp(std::string_view line) const {
    // Look for the colon and check the characters around it: "://" is rarer than
    // "h", and the first hit that reads "http://" is the first "http://". With
    // both schemes the first hit is still the earliest start: an "https" before
    // the next colon ends in "s", not ":".
    for (std::size_t colon = FindColon(line, schemes_.http ? 4 : 5); colon != kNone;
         colon = FindColon(line, colon + 1)) {
        if (colon + 2 >= line.size()) return kNone;
        if (page_.SearchUnit(std::uint8_t(line[colon + 1])) != u'/' ||
            page_.SearchUnit(std::uint8_t(line[colon + 2])) != u'/') {
            continue;
        }
        if (std::size_t start = SchemeStart(line, colon); start != kNone) return start;
    }
    return kNone;
}

std::size_t CuttingRule::FindKeyword(std::string_view line, std::size_t from) const {
    std::size_t at = FindFirstOf(line, from, keywordBytes_);
    if (at == kNone || page_.IsBoundary(line, from, at)) return at;
    // The hit is the trail byte of a pair, so a character starts right after it.
    // Walk on character by character: searching again for every keyword byte after
    // each such hit would scan the rest of the line once per trail byte, which is
    // quadratic on a long line of pairs whose trail bytes look like the keyword.
    for (at += 1; at < line.size(); at += page_.CharLength(line, at)) {
        if (isKeywordByte_[std::uint8_t(line[at])]) return at;
    }
    return kNone;
}

std::optional<CutLine> CuttingRule::CutFirstLine(std::string_view window) const {
    const char* bytes = window.data();
    const std::size_t size = window.size();
    const auto line = [&](std::size_t end, std::optional<std::string_view> url) {
        return CutLine{LineWithTerminator(window, end), url};
    };
    if (!onePass_) {
        const std::size_t end = searches_.findBreak(bytes, size);
        if (end == size) return std::nullopt;
        return line(end, ExtractUrl(window.substr(0, end), *this));
    }
    // Up to the URL's start, the line's end and "://" are looked for together; from
    // there on its end and the keyword: each byte of the line is looked at once.
    std::size_t start = kNone;
    for (std::size_t from = 0; start == kNone;) {
        const std::size_t hit = from + searches_.findBreakOrSeparator(bytes + from, size - from);
        if (hit == size) return std::nullopt;
        if (scan::IsBreak(bytes[hit])) return line(hit, std::nullopt);
        start = SchemeStart(window, hit);
        from = hit + 1;
    }
    const std::size_t hit =
        start + searches_.findBreakOrAnyOf(bytes + start, size - start, keywordSet_);
    if (hit == size) return std::nullopt;
    if (scan::IsBreak(bytes[hit])) return line(hit, window.substr(start, hit - start));
    const std::size_t end = hit + 1 + searches_.findBreak(bytes + hit + 1, size - hit - 1);
    if (end == size) return std::nullopt;
    if (!page_.IsBoundary(window, start, hit))
        return line(end, ExtractUrl(window.substr(0, end), *this));
    return line(end, window.substr(start, hit - start));
}

std::optional<std::string_view> ExtractUrl(std::string_view line, const CuttingRule& rule) {
    std::size_t start = rule.FindHttp(line);
    if (start == kNone) return std::nullopt;
    std::size_t end = rule.FindKeyword(line, start);
    return line.substr(start, end == kNone ? kNone : end - start);
}

}  // namespace kestrin
