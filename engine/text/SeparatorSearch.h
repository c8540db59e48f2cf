#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace kestrin {

/// The position of the first "://" in `text` at or after `from`, or npos.
///
/// Sixteen positions at a time: most lines hold a few colons (a time of day) before
/// their URL, and one pass that wants the colon and both slashes at once is cheaper
/// than stopping at every colon.
inline std::size_t FindSeparator(std::string_view text, std::size_t from) {
    const char* bytes = text.data();
    std::size_t at = from;
    if constexpr (std::endian::native == std::endian::little) {
        using Block = char __attribute__((vector_size(16)));
        for (; at + 18 <= text.size(); at += 16) {
            Block colon, slash1, slash2;
            std::memcpy(&colon, bytes + at, 16);
            std::memcpy(&slash1, bytes + at + 1, 16);
            std::memcpy(&slash2, bytes + at + 2, 16);
            Block found = (colon == ':') & (slash1 == '/') & (slash2 == '/');
            std::uint64_t low, high;
            std::memcpy(&low, &found, 8);
            std::memcpy(&high, reinterpret_cast<const char*>(&found) + 8, 8);
            if (low != 0) return at + std::size_t(std::countr_zero(low)) / 8;
            if (high != 0) return at + 8 + std::size_t(std::countr_zero(high)) / 8;
        }
    }
    for (; at + 2 < text.size(); ++at) {
        if (bytes[at] == ':' && bytes[at + 1] == '/' && bytes[at + 2] == '/') return at;
    }
    return std::string_view::npos;
}

}  // namespace kestrin
