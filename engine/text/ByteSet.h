#pragma once

#include <cstddef>

namespace kestrin::scan {

/// Up to four byte values searched for at once.
struct ByteSet {
    static constexpr std::size_t kMax = 4;
    unsigned char values[kMax] = {};
    std::size_t count = 0;
};

/// The searches of ByteScan.h built for AVX2, for processors that have it. Only
/// declared here: their file is compiled for AVX2, and must share no inline code
/// with the rest of the program, which may run where AVX2 is missing.
std::size_t FindBreakAvx2(const char* bytes, std::size_t size);
std::size_t FindBreakOrSeparatorAvx2(const char* bytes, std::size_t size);
std::size_t FindBreakOrAnyOfAvx2(const char* bytes, std::size_t size, const ByteSet& set);

}  // namespace kestrin::scan
