#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "text/CodePage.h"

namespace kestrin {

/// The parts of a URL that its host entry is made of.
struct UrlHost {
    /// What comes before "://", as it stood.
    std::string_view scheme;
    /// What follows "://" up to the first "/", "?", "#" or the end, without the
    /// user info (up to the last "@") and the port (from the first ":", or after
    /// the "]" of an IPv6 address in brackets), as it stood.
    std::string_view host;
};

/// The scheme and host of `url`, found character by character in `page` (a trail
/// byte that looks like "@" or "]" is none); nothing when it has no "://".
std::optional<UrlHost> FindHost(std::string_view url, const CodePage& page);

/// `text` with every single-byte ASCII letter lower-cased, the bytes of double-byte
/// characters kept: host names are case-blind, and a trail byte is no letter.
std::string LowerAsciiLetters(std::string_view text, const CodePage& page);
/// `letter` lower-cased when it is an ASCII letter, as a character of its own.
inline char LowerAsciiLetter(char letter) {
    return letter >= 'A' && letter <= 'Z' ? char(letter + 32) : letter;
}

/// The host without a last ".": "example.com." names the host "example.com" does.
inline std::string_view WithoutLastDot(std::string_view host) {
    return host.ends_with('.') ? host.substr(0, host.size() - 1) : host;
}

/// Where the registrable domain of `host` (lower-cased as LowerAsciiLetters does)
/// starts by the Public Suffix List: the host's tail of the same labels, written
/// as it stood. The host itself for an IP address, a single label, a public
/// suffix, an empty host or one not text in `page`; a last "." is dropped.
/// Names with other than ASCII letters are looked up decoded in `page` and
/// lower-cased, as international domain names are listed.
std::string_view RegistrableDomain(std::string_view host, const CodePage& page);

}  // namespace kestrin
