#include "text/ByteScan.h"

#include <vector>

#include "text/VectorSearches.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kestrin::scan {

#if defined(KESTRIN_HAVE_AVX2)
// Built in ByteScanAvx2.cpp and ByteScanAvx512.cpp, for those instruction sets.
const LineSearches& Avx2LineSearches();
const LineSearches& Avx512LineSearches();
#endif

namespace {

#if defined(__SSE2__)
struct Sse2 {
    static constexpr const char* kName = "SSE2";
    static constexpr std::size_t kLanes = 16;
    using Vector = __m128i;
    static Vector Load(const char* at) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    }
    static Vector Equal(Vector bytes, char byte) {
        return _mm_cmpeq_epi8(bytes, _mm_set1_epi8(byte));
    }
    static Vector Or(Vector a, Vector b) { return _mm_or_si128(a, b); }
    static Vector And(Vector a, Vector b) { return _mm_and_si128(a, b); }
    static std::uint32_t Mask(Vector lanes) { return std::uint32_t(_mm_movemask_epi8(lanes)); }
};
using Portable = Sse2;
#else
// Eight bytes in a word where the processor has no vectors we know.
struct Word {
    static constexpr const char* kName = "64-bit words";
    static constexpr std::size_t kLanes = 8;
    using Vector = std::uint64_t;
    static Vector Load(const char* at) {
        Vector word;
        __builtin_memcpy(&word, at, sizeof word);
        return word;
    }
    static Vector Equal(Vector bytes, char byte) {
        Vector equal = 0;
        for (std::size_t i = 0; i < kLanes; ++i)
            if (char(bytes >> (8 * i)) == byte) equal |= Vector(0xFF) << (8 * i);
        return equal;
    }
    static Vector Or(Vector a, Vector b) { return a | b; }
    static Vector And(Vector a, Vector b) { return a & b; }
    static std::uint32_t Mask(Vector lanes) {
        std::uint32_t mask = 0;
        for (std::size_t i = 0; i < kLanes; ++i)
            mask |= std::uint32_t((lanes >> (8 * i + 7)) & 1) << i;
        return mask;
    }
};
using Portable = Word;
#endif

}  // namespace

const LineSearches& PortableLineSearches() {
    return VectorSearches<Portable>::kSearches;
}

std::span<const LineSearches* const> EveryLineSearches() {
    static const std::vector<const LineSearches*> every = [] {
        std::vector<const LineSearches*> sets;
#if defined(KESTRIN_HAVE_AVX2)
        // The compiler's check asks the system too, whether it keeps the vectors'
        // registers.
        if (__builtin_cpu_supports("avx2")) {
            if (__builtin_cpu_supports("avx512bw")) sets.push_back(&Avx512LineSearches());
            sets.push_back(&Avx2LineSearches());
        }
#endif
        sets.push_back(&PortableLineSearches());
        return sets;
    }();
    return every;
}

const LineSearches& FastestLineSearches() {
    static const LineSearches& fastest = *EveryLineSearches().front();
    return fastest;
}

}  // namespace kestrin::scan
