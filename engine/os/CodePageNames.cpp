#include "os/CodePageNames.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <string>

namespace kestrin::os {
namespace {

struct Alias {
    const char* name;  // lower case
    unsigned number;
    const char* converter;
};

// A name each system would read otherwise stands for the Windows code page: GB2312
// and EUC-KR are read as the code pages that hold them (GBK and 949; Windows has no
// converter of its own for 51949), Big5 as 950.
constexpr Alias kAliases[] = {
    {"utf-8", kUtf8CodePage, "UTF-8"}, {"utf8", kUtf8CodePage, "UTF-8"},
    {"shift_jis", 932, "windows-31j"}, {"sjis", 932, "windows-31j"},
    {"ms932", 932, "windows-31j"},     {"windows-31j", 932, "windows-31j"},
    {"ms_kanji", 932, "windows-31j"},  {"gbk", 936, "windows-936"},
    {"gb2312", 936, "windows-936"},    {"big5", 950, "windows-950"},
    {"uhc", 949, "windows-949"},       {"ks_c_5601-1987", 949, "windows-949"},
    {"euc-kr", 949, "windows-949"},    {"tis-620", 874, "windows-874"},
    {"koi8-r", 20866, "KOI8-R"},       {"koi8-u", 21866, "KOI8-U"},
    {"us-ascii", 20127, "US-ASCII"},   {"ascii", 20127, "US-ASCII"},
    {"latin1", 28591, "ISO-8859-1"},
};

// ISO-8859-N is Windows' 28590 + N; ICU knows it by that name, not by the number.
constexpr unsigned kIsoLatinBase = 28590;
constexpr unsigned kIsoLatinParts[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 13, 15};

std::optional<unsigned> NumberAfter(std::string_view lower, std::string_view prefix) {
    if (!lower.starts_with(prefix) || lower.size() == prefix.size() ||
        lower.size() - prefix.size() > 5)
        return std::nullopt;
    unsigned number = 0;
    const char* end = lower.data() + lower.size();
    const auto [stop, error] = std::from_chars(lower.data() + prefix.size(), end, number);
    if (error != std::errc() || stop != end) return std::nullopt;
    return number;
}

CodePageName ByNumber(unsigned number) {
    if (number == kUtf8CodePage) return {number, "UTF-8"};
    // A page ICU names otherwise than windows-N (ISO-8859-1, KOI8-R).
    for (const Alias& alias : kAliases)
        if (alias.number == number && !std::string_view(alias.converter).starts_with("windows-"))
            return {number, alias.converter};
    for (const unsigned part : kIsoLatinParts)
        if (number == kIsoLatinBase + part) return {number, "ISO-8859-" + std::to_string(part)};
    return {number, "windows-" + std::to_string(number)};
}

}  // namespace

std::optional<CodePageName> FindCodePageName(std::string_view name) {
    std::string lower(name);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return char(std::tolower(static_cast<unsigned char>(c))); });
    for (const Alias& alias : kAliases)
        if (lower == alias.name) return CodePageName{alias.number, alias.converter};
    if (const std::optional<unsigned> part = NumberAfter(lower, "iso-8859-"))
        return ByNumber(kIsoLatinBase + *part);
    for (const std::string_view prefix : {"cp", "windows-", "ibm-"})
        if (const std::optional<unsigned> number = NumberAfter(lower, prefix))
            return ByNumber(*number);
    return std::nullopt;
}

}  // namespace kestrin::os
