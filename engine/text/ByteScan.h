#pragma once

#include <cstddef>
#include <cstdint>

#include "text/ByteSet.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Searches over a line's bytes, 32 at a time where the machine has SSE2. Each
// returns the offset of the first byte it wants in [bytes, bytes + size), or size;
// the bytes a wanted byte must be followed by are looked for inside that range too.
namespace kestrin::scan {

inline bool IsBreak(char byte) {
    return byte == '\r' || byte == '\n';
}

#if defined(__SSE2__)
namespace detail {

inline std::uint32_t MaskOf(__m128i low, __m128i high) {
    return std::uint32_t(_mm_movemask_epi8(low)) | std::uint32_t(_mm_movemask_epi8(high)) << 16;
}

inline __m128i Load(const char* at) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

inline __m128i Breaks(__m128i bytes) {
    return _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\r')),
                        _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n')));
}

// "://" at each of the sixteen bytes from `at`, which must have two more after them.
inline __m128i Separators(const char* at) {
    return _mm_and_si128(_mm_cmpeq_epi8(Load(at), _mm_set1_epi8(':')),
                         _mm_and_si128(_mm_cmpeq_epi8(Load(at + 1), _mm_set1_epi8('/')),
                                       _mm_cmpeq_epi8(Load(at + 2), _mm_set1_epi8('/'))));
}

inline __m128i AnyOf(__m128i bytes, const ByteSet& set) {
    __m128i found = _mm_setzero_si128();
    for (std::size_t i = 0; i < set.count; ++i)
        found = _mm_or_si128(found, _mm_cmpeq_epi8(bytes, _mm_set1_epi8(char(set.values[i]))));
    return found;
}

}  // namespace detail
#endif

/// The first CR or LF.
inline std::size_t FindBreak(const char* bytes, std::size_t size) {
    std::size_t at = 0;
#if defined(__SSE2__)
    for (; at + 32 <= size; at += 32) {
        const std::uint32_t found = detail::MaskOf(detail::Breaks(detail::Load(bytes + at)),
                                                   detail::Breaks(detail::Load(bytes + at + 16)));
        if (found != 0) return at + std::size_t(__builtin_ctz(found));
    }
#endif
    for (; at < size; ++at) {
        if (IsBreak(bytes[at])) return at;
    }
    return size;
}

/// The first "://".
inline std::size_t FindSeparator(const char* bytes, std::size_t size) {
    std::size_t at = 0;
#if defined(__SSE2__)
    for (; at + 34 <= size; at += 32) {
        const std::uint32_t found =
            detail::MaskOf(detail::Separators(bytes + at), detail::Separators(bytes + at + 16));
        if (found != 0) return at + std::size_t(__builtin_ctz(found));
    }
#endif
    for (; at + 2 < size; ++at) {
        if (bytes[at] == ':' && bytes[at + 1] == '/' && bytes[at + 2] == '/') return at;
    }
    return size;
}

/// The first CR or LF, or "://", whichever comes first: a line's end and the
/// separator of its URL in one pass.
inline std::size_t FindBreakOrSeparator(const char* bytes, std::size_t size) {
    std::size_t at = 0;
#if defined(__SSE2__)
    for (; at + 34 <= size; at += 32) {
        const __m128i low =
            _mm_or_si128(detail::Breaks(detail::Load(bytes + at)), detail::Separators(bytes + at));
        const __m128i high = _mm_or_si128(detail::Breaks(detail::Load(bytes + at + 16)),
                                          detail::Separators(bytes + at + 16));
        const std::uint32_t found = detail::MaskOf(low, high);
        if (found != 0) return at + std::size_t(__builtin_ctz(found));
    }
#endif
    for (; at < size; ++at) {
        if (IsBreak(bytes[at])) return at;
        if (bytes[at] == ':' && at + 2 < size && bytes[at + 1] == '/' && bytes[at + 2] == '/')
            return at;
    }
    return size;
}

/// The first CR or LF, or byte of `set`: a URL's end and the line's in one pass.
inline std::size_t FindBreakOrAnyOf(const char* bytes, std::size_t size, const ByteSet& set) {
    std::size_t at = 0;
#if defined(__SSE2__)
    for (; at + 32 <= size; at += 32) {
        const __m128i low = detail::Load(bytes + at), high = detail::Load(bytes + at + 16);
        const std::uint32_t found =
            detail::MaskOf(_mm_or_si128(detail::Breaks(low), detail::AnyOf(low, set)),
                           _mm_or_si128(detail::Breaks(high), detail::AnyOf(high, set)));
        if (found != 0) return at + std::size_t(__builtin_ctz(found));
    }
#endif
    for (; at < size; ++at) {
        if (IsBreak(bytes[at])) return at;
        for (std::size_t i = 0; i < set.count; ++i) {
            if (std::uint8_t(bytes[at]) == set.values[i]) return at;
        }
    }
    return size;
}

/// The three searches a line's cut makes, the fastest this processor can run.
struct LineSearches {
    std::size_t (*findBreak)(const char*, std::size_t);
    std::size_t (*findBreakOrSeparator)(const char*, std::size_t);
    std::size_t (*findBreakOrAnyOf)(const char*, std::size_t, const ByteSet&);
};
const LineSearches& FastestLineSearches();

}  // namespace kestrin::scan
