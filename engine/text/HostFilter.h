#pragma once

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
    /// `hosts` as given (an IPv6 address with or without its brackets), in the
    /// bytes of `page`, which must outlive the filter.
    HostFilter(std::vector<std::string> hosts, const CodePage& page);

    bool Excludes(std::string_view url) const {
        // Asked once a line, and mostly of no hosts at all.
        return !hosts_.empty() && ExcludesHostOf(url);
    }

  private:
    bool ExcludesHostOf(std::string_view url) const;
    // The same name, ASCII letter case aside; a double-byte character's bytes,
    // which may look like letters, compared as they are.
    bool SameName(std::string_view a, std::string_view b) const;

    std::vector<std::string> hosts_;
    const CodePage* page_;
};

}  // namespace kestrin
