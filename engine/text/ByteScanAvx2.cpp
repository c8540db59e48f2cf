// The line searches built for AVX2. This file alone is compiled for AVX2; what it
// builds is reached only through Avx2LineSearches, which only a processor with AVX2
// is given.

#include <immintrin.h>

#include "text/VectorSearches.h"

namespace kestrin::scan {
namespace {

struct Avx2 {
    static constexpr const char* kName = "AVX2";
    static constexpr std::size_t kLanes = 32;
    using Vector = __m256i;
    static Vector Load(const char* at) {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
    }
    static Vector Equal(Vector bytes, char byte) {
        return _mm256_cmpeq_epi8(bytes, _mm256_set1_epi8(byte));
    }
    static Vector Or(Vector a, Vector b) { return _mm256_or_si256(a, b); }
    static Vector And(Vector a, Vector b) { return _mm256_and_si256(a, b); }
    static std::uint32_t Mask(Vector lanes) { return std::uint32_t(_mm256_movemask_epi8(lanes)); }
};

}  // namespace

const LineSearches& Avx2LineSearches() {
    return VectorSearches<Avx2>::kSearches;
}

}  // namespace kestrin::scan
