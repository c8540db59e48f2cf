#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// The searches over a log's bytes that its lines and URLs are found by, built for
// the vector instructions the processor has (chosen once, at run time). Each
// returns the offset of the first byte it wants in [bytes, bytes + size), or size;
// the bytes a wanted byte must be followed by are looked for inside that range too.
namespace kestrin::scan {

inline bool IsBreak(char byte) {
    return byte == '\r' || byte == '\n';
}

/// Up to four byte values searched for at once.
struct ByteSet {
    static constexpr std::size_t kMax = 4;
    unsigned char values[kMax] = {};
    std::size_t count = 0;
};

/// What 64 bytes hold, one bit a byte (bit i for byte i): CR or LF, the ':' of
/// "://", a byte of a ByteSet.
struct ByteMasks {
    std::uint64_t breaks = 0;
    std::uint64_t separators = 0;
    std::uint64_t keywords = 0;
};

struct LineSearches {
    /// The instruction set they are built for, as a reader of a test's output knows it.
    const char* name;
    /// The first CR or LF.
    std::size_t (*findBreak)(const char* bytes, std::size_t size);
    /// The first "://".
    std::size_t (*findSeparator)(const char* bytes, std::size_t size);
    /// The first CR or LF, or "://": a line's end and its URL's separator in one pass.
    std::size_t (*findBreakOrSeparator)(const char* bytes, std::size_t size);
    /// The first CR or LF, or byte of `set`: a URL's end and the line's in one pass.
    std::size_t (*findBreakOrAnyOf)(const char* bytes, std::size_t size, const ByteSet& set);
    /// The first byte that is not NUL.
    std::size_t (*findNotNul)(const char* bytes, std::size_t size);
    /// The masks of `words` runs of 64 bytes from `bytes`, keywords of `set`. A "://"
    /// is looked for in the two bytes after the last run too, which must be readable.
    void (*maskBytes)(const char* bytes, std::size_t words, const ByteSet& set, ByteMasks* into);
};

/// The fastest searches this processor runs.
const LineSearches& FastestLineSearches();
/// Searches every x86-64 processor runs (SSE2), or plain loops elsewhere: what the
/// fastest must agree with.
const LineSearches& PortableLineSearches();
/// Every set of searches this processor runs, the fastest first and the portable
/// last: each must find what the others find.
std::span<const LineSearches* const> EveryLineSearches();

}  // namespace kestrin::scan
