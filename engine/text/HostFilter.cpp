#include "text/HostFilter.h"

#include <algorithm>

namespace kestrin {
namespace {

// The host of `url`: what follows "://" up to the first "/", "?", "#", ":" or
// the end. Those bytes are never trail bytes of a double-byte code page.
std::string_view HostOf(std::string_view url) {
    const std::size_t from = url.find("://");
    if (from == std::string_view::npos) return {};
    url.remove_prefix(from + 3);
    return url.substr(0, url.find_first_of("/?#:"));
}

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}

}  // namespace

bool HostFilter::ExcludesHostOf(std::string_view url) const {
    const std::string_view host = HostOf(url);
    for (const std::string& excluded : hosts_) {
        if (EqualIgnoringAsciiCase(host, excluded)) return true;
        if (host.size() > excluded.size() && host[host.size() - excluded.size() - 1] == '.' &&
            EqualIgnoringAsciiCase(host.substr(host.size() - excluded.size()), excluded))
            return true;
    }
    return false;
}

}  // namespace kestrin
