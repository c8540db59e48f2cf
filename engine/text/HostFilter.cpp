#include "text/HostFilter.h"

#include <algorithm>
#include <utility>

#include "text/UrlHost.h"

namespace kestrin {
namespace {

// A host as a URL's is found: a name has no ":", so one with colons is an IPv6
// address, which a URL holds in brackets.
std::string AsUrlHost(const std::string& host, const CodePage& page) {
    const std::string_view name = WithoutLastDot(host);
    const std::string lower = LowerAsciiLetters(name, page);
    return name.find(':') != std::string_view::npos && !name.starts_with('[') ? "[" + lower + "]"
                                                                              : lower;
}

}  // namespace

HostFilter::HostFilter(std::vector<std::string> hosts, const CodePage& page)
    : hosts_(std::move(hosts)), page_(&page) {
    for (std::string& host : hosts_) host = AsUrlHost(host, page);
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

bool HostFilter::SameName(std::string_view host, std::string_view excluded) const {
    if (host.size() != excluded.size()) return false;
    for (std::size_t at = 0; at < host.size();) {
        const std::size_t length = page_->CharLength(host, at);
        if (length == 1 ? LowerAsciiLetter(host[at]) != excluded[at]
                        : host.compare(at, length, excluded, at, length) != 0)
            return false;
        at += length;
    }
    return true;
}

std::optional<std::string> HostProblem(std::string_view host) {
    const std::string_view name = WithoutLastDot(host);
    if (name.empty()) return "--exclude-host needs a host";
    // An IPv6 address has two colons or more; one colon, or one after "]", is a port.
    const std::size_t colons = std::size_t(std::count(name.begin(), name.end(), ':'));
    const bool port = name.starts_with('[') ? !name.ends_with(']') : colons == 1;
    if (port || name.find_first_of("/?#@") != std::string_view::npos)
        return "--exclude-host takes a host alone, without scheme, user, port or path: " +
               std::string(host);
    return std::nullopt;
}

}  // namespace kestrin
