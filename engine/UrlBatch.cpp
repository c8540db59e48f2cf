#include "UrlBatch.h"

namespace kestrin {

void UrlBatch::Add(std::string_view url) {
    if (url.size() > kLongUrl) {
        // Not worth a copy: the fetching ahead saves nothing next to its length.
        Flush();
        std::int64_t slot = LookupUrl(table_, url);
        if (slot >= 0) InsertUrl(table_, slot, url);
        return;
    }
    bytes_.append(url);
    ends_.push_back(bytes_.size());
    if (ends_.size() == kUrlBatch) Flush();
}

void UrlBatch::Flush() {
    views_.clear();
    std::size_t start = 0;
    for (std::size_t end : ends_) {
        views_.emplace_back(bytes_.data() + start, end - start);
        start = end;
    }
    CountUrls(table_, views_);
    bytes_.clear();
    ends_.clear();
}

}  // namespace kestrin
