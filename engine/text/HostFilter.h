#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrin {

class CodePage;

/// The hosts whose URLs a run leaves out (a site's own pages, say): a URL is left
/// out when its host is one of them or ends in "." + one of them. The host is the
/// one a URL is grouped by: without user info and port, an IPv6 address in its
/// brackets. ASCII letter case is ignored, and a last "." of either name.
class HostFilter {
  public:
    /// `hosts` as given (an IPv6 address with or without its brackets), each one
    /// that HostProblem finds none in. They are compared with the URLs' bytes as
    /// their own bytes are: a name of ASCII is the same in every code page. `page`
    /// must outlive the filter.
    HostFilter(std::vector<std::string> hosts, const CodePage& page);

    bool Excludes(std::string_view url) const {
        // Asked once a line, and mostly of no hosts at all.
        return !hosts_.empty() && ExcludesHostOf(url);
    }

  private:
    bool ExcludesHostOf(std::string_view url) const;
    // `host` (a URL's) is `excluded` (lower-cased already), ASCII letter case aside;
    // a double-byte character's bytes, which may look like letters, compared as
    // they are.
    bool SameName(std::string_view host, std::string_view excluded) const;

    std::vector<std::string> hosts_;
    const CodePage* page_;
};

/// Why `host` cannot be left out: nothing, or more than a host (a scheme, user
/// info, a port or a path), which no URL's host would ever be. Nothing when it can.
std::optional<std::string> HostProblem(std::string_view host);

}  // namespace kestrin
