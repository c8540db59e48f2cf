#include "text/UrlGroups.h"

#include "text/UrlHost.h"

namespace kestrin {

const char* EntryName(Grouping grouping) {
    switch (grouping) {
        case Grouping::Host:
            return "host";
        case Grouping::Site:
            return "site";
        case Grouping::Url:
            break;
    }
    return "url";
}

std::string_view UrlGrouper::EntryOf(std::string_view url) {
    if (grouping_ == Grouping::Url) return url;
    const std::optional<UrlHost> parts = FindHost(url, page_);
    if (!parts) return url;
    entry_ = LowerAsciiLetters(parts->scheme, page_);
    entry_ += "://";
    const std::string host = LowerAsciiLetters(parts->host, page_);
    entry_ += grouping_ == Grouping::Site ? SiteOf(host) : host;
    return entry_;
}

std::string_view UrlGrouper::SiteOf(const std::string& host) {
    auto found = sites_.find(host);
    if (found == sites_.end())
        found = sites_.emplace(host, std::string(RegistrableDomain(host, page_))).first;
    return found->second;
}

}  // namespace kestrin
