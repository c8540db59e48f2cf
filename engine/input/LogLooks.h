#pragma once

#include <string>
#include <string_view>

#include "input/ByteSource.h"

namespace kestrin {

/// What the start of a log looks like, to tell a user why it yielded no URL.
enum class LogLooks { Text, Binary, Utf16 };

/// How many first bytes of a log LooksOf needs.
inline constexpr std::size_t kHeadBytes = 4096;

/// UTF-16 by its byte order mark or its NULs in every other byte; binary by its
/// NULs or a tenth of control bytes; otherwise text.
LogLooks LooksOf(std::string_view head);

/// A source that keeps the first kHeadBytes it hands out in `head`.
class HeadKeepingSource : public ByteSource {
  public:
    HeadKeepingSource(ByteSource& source, std::string& head) : source_(source), head_(head) {}
    std::int64_t Read(char* into, std::size_t size) override;

  private:
    ByteSource& source_;
    std::string& head_;
};

}  // namespace kestrin
