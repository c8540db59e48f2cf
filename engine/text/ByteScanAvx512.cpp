// The masks of a buffer's bytes built for AVX-512 (BW), where one compare marks 64
// bytes: a third of the instructions AVX2 takes for them, on the pass that looks at
// every byte of a log. The searches of a line's rest stay AVX2's. This file alone is
// compiled for AVX-512; what it builds is reached only through Avx512LineSearches,
// which only a processor with AVX-512BW is given.

#include <immintrin.h>

#include "text/ByteScan.h"

namespace kestrin::scan {

// Built in ByteScanAvx2.cpp: every processor with AVX-512BW has AVX2.
const LineSearches& Avx2LineSearches();

namespace {

std::uint64_t Equal(__m512i bytes, char byte) {
    return _mm512_cmpeq_epi8_mask(bytes, _mm512_set1_epi8(byte));
}

void MaskBytes(const char* bytes, std::size_t words, const ByteSet& set, ByteMasks* into) {
    for (std::size_t word = 0; word < words; ++word, bytes += 64) {
        const __m512i here = _mm512_loadu_si512(bytes);
        into[word].breaks = Equal(here, '\r') | Equal(here, '\n');
        into[word].separators = Equal(here, ':') & Equal(_mm512_loadu_si512(bytes + 1), '/') &
                                Equal(_mm512_loadu_si512(bytes + 2), '/');
        std::uint64_t keywords = 0;
        for (std::size_t i = 0; i < set.count; ++i) keywords |= Equal(here, char(set.values[i]));
        into[word].keywords = keywords;
    }
}

}  // namespace

const LineSearches& Avx512LineSearches() {
    static const LineSearches searches = [] {
        LineSearches built = Avx2LineSearches();
        built.name = "AVX-512";
        built.maskBytes = MaskBytes;
        return built;
    }();
    return searches;
}

}  // namespace kestrin::scan
