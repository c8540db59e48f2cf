#include "text/CuttingRule.h"

#include <algorithm>
#include <cstring>

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
    byMasks_ =
        onePass_ && std::u16string_view(u"https:/").find(keyword) == std::u16string_view::npos;
}

std::size_t CuttingRule::FindFirstOf(std::string_view bytes, std::size_t from,
                                     const std::vector<unsigned char>& set) const {
    if (set.size() == 1) {
        if (from >= bytes.size()) return kNone;
        const void* hit = std::memchr(bytes.data() + from, set[0], bytes.size() - from);
        return hit == nullptr ? kNone : std::size_t(static_cast<const char*>(hit) - bytes.data());
    }
    std::size_t first = kNone;
    std::size_t limit = bytes.size();
    for (unsigned char byte : set) {
        if (from >= limit) break;
        const void* hit = std::memchr(bytes.data() + from, byte, limit - from);
        if (hit != nullptr) {
            first = std::size_t(static_cast<const char*>(hit) - bytes.data());
            limit = first;
        }
    }
    return first;
}

std::size_t CuttingRule::FindColon(std::string_view bytes, std::size_t from) const {
    if (from >= bytes.size()) return kNone;
    if (!asciiSeparators_) return FindFirstOf(bytes, from, colonBytes_);
    const std::size_t at = from + searches_.findSeparator(bytes.data() + from, bytes.size() - from);
    return at == bytes.size() ? kNone : at;
}

std::size_t CuttingRule::SchemeStart(std::string_view bytes, std::size_t colon) const {
    // The colon of "://" and the characters before it: "https" and "http" cannot
    // end at one colon.
    static constexpr char16_t kBefore[] = u"https";
    const auto matches = [&](std::size_t start, std::size_t length) {
        for (std::size_t i = 0; i < length; ++i) {
            if (page_.SearchUnit(std::uint8_t(bytes[start + i])) != kBefore[i]) return false;
        }
        return page_.IsBoundary(bytes, 0, start);
    };
    if (schemes_.http && colon >= 4 && matches(colon - 4, 4)) return colon - 4;
    if (schemes_.https && colon >= 5 && matches(colon - 5, 5)) return colon - 5;
    return kNone;
}

std::size_t CuttingRule::FindUrlStart(std::string_view bytes, std::size_t from) const {
    // Look for the colon and check the characters around it: "://" is rarer than
    // "h", and the first hit that reads "http://" is the first "http://". With
    // both schemes the first hit is still the earliest start: an "https" before
    // the next colon ends in "s", not ":".
    for (std::size_t colon = FindColon(bytes, std::max<std::size_t>(from, schemes_.http ? 4 : 5));
         colon != kNone; colon = FindColon(bytes, colon + 1)) {
        if (colon + 2 >= bytes.size()) return kNone;
        if (page_.SearchUnit(std::uint8_t(bytes[colon + 1])) != u'/' ||
            page_.SearchUnit(std::uint8_t(bytes[colon + 2])) != u'/') {
            continue;
        }
        if (std::size_t start = SchemeStart(bytes, colon); start != kNone) return start;
    }
    return kNone;
}

std::size_t CuttingRule::FindKeyword(std::string_view bytes, std::size_t from) const {
    std::size_t at = FindFirstOf(bytes, from, keywordBytes_);
    if (at == kNone || page_.IsBoundary(bytes, from, at)) return at;
    // The hit is the trail byte of a pair, so a character starts right after it.
    // Walk on character by character: searching again for every keyword byte after
    // each such hit would scan the rest of the bytes once per trail byte, which is
    // quadratic on a long line of pairs whose trail bytes look like the keyword.
    for (at += 1; at < bytes.size(); at += page_.CharLength(bytes, at)) {
        if (isKeywordByte_[std::uint8_t(bytes[at])]) return at;
    }
    return kNone;
}

UrlBeforeBreak CuttingRule::CutBeforeBreak(std::string_view bytes) const {
    const char* data = bytes.data();
    const std::size_t size = bytes.size();
    const UrlBeforeBreak none{size, std::nullopt};
    if (!onePass_) {
        const std::size_t end = searches_.findBreak(data, size);
        if (end == size) return none;
        return {end, ExtractUrl(bytes.substr(0, end), *this)};
    }
    // Up to the URL's start, the break and "://" are looked for together; from
    // there on the break and the keyword: each byte before the break is looked at once.
    std::size_t start = kNone;
    for (std::size_t from = 0; start == kNone;) {
        const std::size_t hit = from + searches_.findBreakOrSeparator(data + from, size - from);
        if (hit == size) return none;
        if (scan::IsBreak(data[hit])) return {hit, std::nullopt};
        start = SchemeStart(bytes, hit);
        from = hit + 1;
    }
    const std::size_t hit =
        start + searches_.findBreakOrAnyOf(data + start, size - start, keywordSet_);
    if (hit == size) return none;
    if (scan::IsBreak(data[hit])) return {hit, bytes.substr(start, hit - start)};
    const std::size_t end = hit + 1 + searches_.findBreak(data + hit + 1, size - hit - 1);
    if (end == size) return none;
    if (!page_.IsBoundary(bytes, start, hit)) return {end, ExtractUrl(bytes.substr(0, end), *this)};
    return {end, bytes.substr(start, hit - start)};
}

std::optional<std::string_view> ExtractUrl(std::string_view line, const CuttingRule& rule) {
    const std::size_t start = rule.FindUrlStart(line, 0);
    if (start == kNone) return std::nullopt;
    const std::size_t end = rule.FindKeyword(line, start);
    return line.substr(start, end == kNone ? kNone : end - start);
}

}  // namespace kestrin
