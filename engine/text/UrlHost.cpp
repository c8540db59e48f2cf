#include "text/UrlHost.h"

#include <algorithm>

#include "text/PublicSuffixes.h"

namespace kestrin {
namespace {

bool IsAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return std::uint8_t(c) < 0x80; });
}

bool IsDigits(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// A name whose last label is a number is an IPv4 address, as browsers read it
// (192.168.0.1, 0x7f.1, 3232235521): it has no registrable domain.
bool IsIpv4(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    const std::string_view last = dot == std::string_view::npos ? name : name.substr(dot + 1);
    if (last.starts_with("0x") || last.starts_with("0X"))
        return last.find_first_not_of("0123456789abcdefABCDEF", 2) == std::string_view::npos;
    return IsDigits(last);
}

// The name as the list writes international names: UTF-8, lower case. Nothing
// when a byte of it is not text in `page`.
std::optional<std::string> LookupForm(std::string_view name, const CodePage& page) {
    std::u16string units;
    page.Decode(name, units);
    if (!DecodedWhole(units)) return std::nullopt;
    std::string utf8;
    for (std::size_t at = 0; at < units.size();)
        CodePage::AppendUtf8(os::LowerCase(CodePage::NextCharacter(units, at)), utf8);
    return utf8;
}

std::size_t Labels(std::string_view name) {
    return std::size_t(std::count(name.begin(), name.end(), '.')) + 1;
}

}  // namespace

std::optional<UrlHost> FindHost(std::string_view url, const CodePage& page) {
    std::size_t at = 0;
    while (at < url.size() && url.compare(at, 3, "://") != 0) at += page.CharLength(url, at);
    if (at >= url.size()) return std::nullopt;
    const std::size_t from = at + 3;
    std::size_t hostFrom = from, colon = std::string_view::npos, bracket = std::string_view::npos;
    for (at = from; at < url.size();) {
        const std::size_t length = page.CharLength(url, at);
        const char c = length == 1 ? url[at] : '\0';
        if (c == '/' || c == '?' || c == '#') break;
        if (c == '@') {
            hostFrom = at + 1;
            colon = bracket = std::string_view::npos;
        } else if (c == ':' && colon == std::string_view::npos) {
            colon = at;
        } else if (c == ']' && bracket == std::string_view::npos) {
            bracket = at;
        }
        at += length;
    }
    std::size_t hostEnd = at;
    if (hostFrom < url.size() && url[hostFrom] == '[') {
        if (bracket != std::string_view::npos) hostEnd = bracket + 1;
    } else if (colon != std::string_view::npos) {
        hostEnd = colon;
    }
    return UrlHost{url.substr(0, from - 3), url.substr(hostFrom, hostEnd - hostFrom)};
}

std::string LowerAsciiLetters(std::string_view text, const CodePage& page) {
    std::string lower(text);
    for (std::size_t at = 0; at < lower.size();) {
        const std::size_t length = page.CharLength(lower, at);
        if (length == 1) lower[at] = LowerAsciiLetter(lower[at]);
        at += length;
    }
    return lower;
}

std::string_view RegistrableDomain(std::string_view host, const CodePage& page) {
    const std::string_view name = WithoutLastDot(host);
    if (name.empty() || name.starts_with('[') || IsIpv4(name)) return host;
    std::optional<std::string> form =
        IsAscii(name) ? std::optional<std::string>(name) : LookupForm(name, page);
    if (!form) return host;
    const std::optional<std::size_t> domainAt = RegistrableDomainAt(*form);
    if (!domainAt) return host;
    // The domain's labels are the name's last ones: a label's "." is never part of
    // a character, so the bytes of that many labels are the domain as it stood.
    const std::size_t labels = Labels(std::string_view(*form).substr(*domainAt));
    std::size_t start = name.size();
    for (std::size_t label = 1; label <= labels; ++label) {
        const std::size_t dot = name.rfind('.', start - 1);
        if (dot == std::string_view::npos) return name;
        start = label < labels ? dot : dot + 1;
    }
    return name.substr(start);
}

}  // namespace kestrin
