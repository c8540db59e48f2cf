#pragma once

#include <string>
#include <string_view>

namespace kestrin {

/// What the start of a log looks like, to tell a user why it yielded no URL.
enum class LogLooks { Text, Binary, Utf16 };

/// From a log's first bytes (a few thousand): UTF-16 by its byte order mark or its NULs in every
/// other byte; binary by its NULs or a tenth of control bytes; otherwise text.
LogLooks LooksOf(std::string_view head);

}  // namespace kestrin
