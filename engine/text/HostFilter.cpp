#include "text/HostFilter.h"

#include <optional>

#include "text/UrlHost.h"

namespace kestrin {
namespace {

// "example.com." names the same host as "example.com".
std::string_view WithoutLastDot(std::string_view host) {
    return host.ends_with('.') ? host.substr(0, host.size() - 1) : host;
}

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? char(c + 32) : c;
}

// A host as a URL's is found: a name has no ":", so one with a colon is an IPv6
// address, which a URL holds in brackets.
std::string AsUrlHost(std::string host) {
    if (host.find(':') != std::string::npos && !host.starts_with('[')) host = "[" + host + "]";
    return std::string(WithoutLastDot(host));
}

}  // namespace

HostFilter::HostFilter(std::vector<std::string> hosts, const CodePage& page)
    : hosts_(std::move(hosts)), page_(&page) {
    for (std::string& host : hosts_) host = AsUrlHost(std::move(host));
}

bool HostFilter::ExcludesHostOf(std::string_view url) const {
    const std::optional<UrlHost> found = FindHost(url, *page_);
    if (!found) return false;
    const std::string_view host = WithoutLastDot(found->host);
    for (const std::string& excluded : hosts_) {
        if (SameName(host, excluded)) return true;
        if (host.size() <= excluded.size()) continue;
        // A subdomain. No code page has "." as a trail byte.
        const std::size_t dot = host.size() - excluded.size() - 1;
        if (host[dot] == '.' && SameName(host.substr(dot + 1), excluded)) return true;
    }
    return false;
}

bool HostFilter::SameName(std::string_view a, std::string_view b) const {
    if (a.size() != b.size()) return false;
    for (std::size_t at = 0; at < a.size();) {
        const std::size_t length = page_->CharLength(a, at);
        if (length == 1 ? LowerAscii(a[at]) != LowerAscii(b[at])
                        : a.compare(at, length, b, at, length) != 0)
            return false;
        at += length;
    }
    return true;
}

}  // namespace kestrin
