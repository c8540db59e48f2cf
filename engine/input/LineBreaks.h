#pragma once

#include <cstddef>
#include <string_view>

namespace kestrin {

/// The bytes from a line's start in which its end is looked for: the first CR or
/// LF among them ends it.
inline constexpr std::size_t kLineWindow = 1024;

/// The length of a line with its terminator. `bytes` starts at the line's start and
/// holds its CR or LF at `end`, and whatever is read after it. A CR followed by an
/// LF ends the line as one terminator when the LF lies within the line's window,
/// or, for a line that runs on past its window, wherever it lies; otherwise the CR
/// or LF is the terminator alone, and an LF after it is an empty line of its own.
inline std::size_t LineWithTerminator(std::string_view bytes, std::size_t end) {
    const std::size_t limit =
        end < kLineWindow && bytes.size() > kLineWindow ? kLineWindow : bytes.size();
    const bool crLf = bytes[end] == '\r' && end + 1 < limit && bytes[end + 1] == '\n';
    return end + (crLf ? 2 : 1);
}

}  // namespace kestrin
