#pragma once

#include <string>
#include <string_view>

namespace kestrin {

// The keyword box lists run/RunRequest.h's kBackKeywordEntries. A lone quote or comma
// in a list is easily missed, so the open list draws every entry larger and names
// those two beside their glyph. Only the list: the box, once an entry is chosen,
// shows the bare glyph, which is what the run takes.

/// The open list's font, against the box's.
inline constexpr double kKeywordListScale = 4.0 / 3.0;

/// What the open list shows for `entry`.
std::u16string KeywordListText(std::u16string_view entry);

}  // namespace kestrin
