#pragma once

#include <string>
#include <string_view>
#include <unordered_map>

#include "text/CodePage.h"

namespace kestrin {

/// What a report's entries are: the URLs, or the hosts or sites they add up to.
enum class Grouping { Url, Host, Site };

/// The name of an entry of `grouping` in the report's headers: "url", "host", "site".
const char* EntryName(Grouping grouping);

/// The entry a URL counts for: the URL itself; `scheme://host` (the scheme and the
/// host's ASCII letters lower-cased, no user info or port); or `scheme://site`,
/// the host's registrable domain. A URL without "://" is its own entry. Sites are
/// looked up once a host: ask it of the distinct URLs, not of every line. Not for
/// several threads at once.
class UrlGrouper {
  public:
    /// Groups URLs of `page`, which must outlive it.
    UrlGrouper(Grouping grouping, const CodePage& page) : grouping_(grouping), page_(page) {}

    /// The entry of `url`; valid until the next call.
    std::string_view EntryOf(std::string_view url);

  private:
    std::string_view SiteOf(const std::string& host);

    Grouping grouping_;
    const CodePage& page_;
    std::string entry_;
    std::unordered_map<std::string, std::string> sites_;  // by the lower-cased host
};

}  // namespace kestrin
