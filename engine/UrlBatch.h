#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "UrlTable.h"

namespace kestrin {

/// Collects the URLs of consecutive lines and counts them a batch at a time, so
/// the table can fetch what they need ahead. The URLs are copied, since the
/// lines they come from do not outlive the next read.
class UrlBatch {
  public:
    explicit UrlBatch(UrlTable& table) : table_(table) {}

    void Add(std::string_view url);
    /// Counts what has been collected; call it before the table is read.
    void Flush();

  private:
    static constexpr std::size_t kLongUrl = 4096;

    UrlTable& table_;
    std::string bytes_;
    std::vector<std::size_t> ends_;
    std::vector<std::string_view> views_;
};

}  // namespace kestrin
