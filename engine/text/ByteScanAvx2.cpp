// The searches of ByteScan.h, 64 bytes at a time with AVX2. This file is compiled
// for AVX2: it includes nothing but intrinsics and plain declarations, so that no
// inline function built here can stand in for the one the rest of the program uses.

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "text/ByteSet.h"

namespace kestrin::scan {
namespace {

bool IsBreakByte(char byte) {
    return byte == '\r' || byte == '\n';
}

__m256i Load(const char* at) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
}

__m256i Breaks(__m256i bytes) {
    return _mm256_or_si256(_mm256_cmpeq_epi8(bytes, _mm256_set1_epi8('\r')),
                           _mm256_cmpeq_epi8(bytes, _mm256_set1_epi8('\n')));
}

__m256i Separators(const char* at) {
    return _mm256_and_si256(
        _mm256_cmpeq_epi8(Load(at), _mm256_set1_epi8(':')),
        _mm256_and_si256(_mm256_cmpeq_epi8(Load(at + 1), _mm256_set1_epi8('/')),
                         _mm256_cmpeq_epi8(Load(at + 2), _mm256_set1_epi8('/'))));
}

__m256i AnyOf(__m256i bytes, const ByteSet& set) {
    __m256i found = _mm256_setzero_si256();
    for (std::size_t i = 0; i < set.count; ++i)
        found =
            _mm256_or_si256(found, _mm256_cmpeq_epi8(bytes, _mm256_set1_epi8(char(set.values[i]))));
    return found;
}

std::uint64_t MaskOf(__m256i low, __m256i high) {
    return std::uint64_t(std::uint32_t(_mm256_movemask_epi8(low))) |
           std::uint64_t(std::uint32_t(_mm256_movemask_epi8(high))) << 32;
}

}  // namespace

std::size_t FindBreakAvx2(const char* bytes, std::size_t size) {
    std::size_t at = 0;
    for (; at + 64 <= size; at += 64) {
        const std::uint64_t found = MaskOf(Breaks(Load(bytes + at)), Breaks(Load(bytes + at + 32)));
        if (found != 0) return at + std::size_t(__builtin_ctzll(found));
    }
    for (; at < size; ++at) {
        if (IsBreakByte(bytes[at])) return at;
    }
    return size;
}

std::size_t FindBreakOrSeparatorAvx2(const char* bytes, std::size_t size) {
    std::size_t at = 0;
    for (; at + 66 <= size; at += 64) {
        const __m256i low = _mm256_or_si256(Breaks(Load(bytes + at)), Separators(bytes + at));
        const __m256i high =
            _mm256_or_si256(Breaks(Load(bytes + at + 32)), Separators(bytes + at + 32));
        const std::uint64_t found = MaskOf(low, high);
        if (found != 0) return at + std::size_t(__builtin_ctzll(found));
    }
    for (; at < size; ++at) {
        if (IsBreakByte(bytes[at])) return at;
        if (bytes[at] == ':' && at + 2 < size && bytes[at + 1] == '/' && bytes[at + 2] == '/')
            return at;
    }
    return size;
}

std::size_t FindBreakOrAnyOfAvx2(const char* bytes, std::size_t size, const ByteSet& set) {
    std::size_t at = 0;
    for (; at + 64 <= size; at += 64) {
        const __m256i low = Load(bytes + at), high = Load(bytes + at + 32);
        const std::uint64_t found = MaskOf(_mm256_or_si256(Breaks(low), AnyOf(low, set)),
                                           _mm256_or_si256(Breaks(high), AnyOf(high, set)));
        if (found != 0) return at + std::size_t(__builtin_ctzll(found));
    }
    for (; at < size; ++at) {
        if (IsBreakByte(bytes[at])) return at;
        for (std::size_t i = 0; i < set.count; ++i) {
            if (static_cast<unsigned char>(bytes[at]) == set.values[i]) return at;
        }
    }
    return size;
}

}  // namespace kestrin::scan
