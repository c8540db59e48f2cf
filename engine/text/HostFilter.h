#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kestrin {

/// The hosts whose URLs a run leaves out (a site's own pages, say): a URL is left
/// out when its host is one of them or ends in "." + one of them, ASCII letter
/// case ignored, a port ignored.
class HostFilter {
  public:
    explicit HostFilter(std::vector<std::string> hosts) : hosts_(std::move(hosts)) {}

    bool Excludes(std::string_view url) const {
        // Asked once a line, and mostly of no hosts at all.
        return !hosts_.empty() && ExcludesHostOf(url);
    }

  private:
    bool ExcludesHostOf(std::string_view url) const;

    std::vector<std::string> hosts_;
};

}  // namespace kestrin
