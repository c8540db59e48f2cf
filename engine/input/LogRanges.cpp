#include "input/LogRanges.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace kestrin {
namespace {

constexpr std::size_t kSearchChunk = 64 << 10;

// The position right after the first LF at or after `from`, or `size` when none follows.
Result<std::int64_t> AfterNextLf(const os::File& file, std::int64_t from, std::int64_t size) {
    std::string chunk(kSearchChunk, '\0');
    while (from < size) {
        Result<std::size_t> got = ReadLogAt(file, chunk.data(), chunk.size(), from, size);
        if (!got) return got.Failure();
        if (const void* lf = std::memchr(chunk.data(), '\n', *got))
            return from + (static_cast<const char*>(lf) - chunk.data()) + 1;
        from += std::int64_t(*got);
    }
    return size;
}

}  // namespace

Result<std::vector<LogRange>> SplitLog(const os::File& file, std::int64_t size, std::size_t parts) {
    std::vector<LogRange> ranges;
    parts = std::max<std::size_t>(parts, 1);
    std::int64_t begin = 0;
    for (std::size_t part = 1; part < parts && begin < size; ++part) {
        const std::int64_t cut =
            std::max(begin, std::int64_t(double(size) * double(part) / double(parts)));
        Result<std::int64_t> end = AfterNextLf(file, cut, size);
        if (!end) return end.Failure();
        if (*end >= size) break;
        if (*end > begin) ranges.push_back({begin, *end});
        begin = *end;
    }
    if (begin < size || ranges.empty()) ranges.push_back({begin, size});
    return ranges;
}

}  // namespace kestrin
