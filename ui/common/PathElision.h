#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace kestrin {

/// Measures text in pixels, in the font it is to be drawn in.
using TextWidth = std::function<int(std::u16string_view)>;

/// `text` as it fits `room` pixels: whole when it does, else shortened in the middle
/// to an ellipsis, keeping as much of both ends as fits (a path's root and its file
/// name say most). Never cuts a character of two UTF-16 units in half.
std::u16string ElideMiddle(std::u16string_view text, int room, const TextWidth& width);

}  // namespace kestrin
