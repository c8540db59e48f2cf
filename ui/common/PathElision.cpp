#include "common/PathElision.h"

#include <vector>

namespace kestrin {
namespace {

constexpr std::u16string_view kEllipsis = u"\u2026";

// Where each character starts, and the text's end.
std::vector<std::size_t> CharacterStarts(std::u16string_view text) {
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool trailSurrogate = text[i] >= 0xDC00 && text[i] <= 0xDFFF;
        if (!trailSurrogate || i == 0) starts.push_back(i);
    }
    starts.push_back(text.size());
    return starts;
}

// The first (kept + 1) / 2 characters, the ellipsis and the last kept / 2: one
// character more alternately adds to each end, so the width grows with `kept`.
std::u16string Kept(std::u16string_view text, const std::vector<std::size_t>& starts,
                    std::size_t kept) {
    const std::size_t characters = starts.size() - 1;
    std::u16string shown(text.substr(0, starts[(kept + 1) / 2]));
    shown += kEllipsis;
    shown += text.substr(starts[characters - kept / 2]);
    return shown;
}

}  // namespace

std::u16string ElideMiddle(std::u16string_view text, int room, const TextWidth& width) {
    if (width(text) <= room) return std::u16string(text);
    const std::vector<std::size_t> starts = CharacterStarts(text);
    if (width(kEllipsis) > room) return {};
    // The most characters that fit, between 0 (which does) and all (which do not).
    std::size_t fits = 0, tooMany = starts.size() - 1;
    while (tooMany - fits > 1) {
        const std::size_t kept = fits + (tooMany - fits) / 2;
        (width(Kept(text, starts, kept)) <= room ? fits : tooMany) = kept;
    }
    return Kept(text, starts, fits);
}

}  // namespace kestrin
