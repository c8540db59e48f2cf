#include "input/LogRanges.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

namespace kestrin {
namespace {

constexpr std::size_t kSearchChunk = 64 << 10;
// How far after a cut point its LF is looked for. A cut without one so near is left
// out, its range joining the next: else a log of gigabytes without a line feed (a
// sparse file of NULs) would be read whole, deaf to a stop, before its run began.
constexpr std::int64_t kSearchLimit = 16 << 20;

}  // namespace

Result<std::optional<std::int64_t>> AfterNextLf(const os::File& file, std::int64_t from,
                                                std::int64_t size) {
    std::string chunk(kSearchChunk, '\0');
    const std::int64_t limit = std::min(size, from + kSearchLimit);
    while (from < limit) {
        const auto wanted = std::size_t(std::min<std::int64_t>(limit - from, kSearchChunk));
        Result<std::size_t> got = ReadLogAt(file, chunk.data(), wanted, from, size);
        if (!got) return got.Failure();
        if (*got == 0) break;
        if (const void* lf = std::memchr(chunk.data(), '\n', *got))
            return std::optional(from + (static_cast<const char*>(lf) - chunk.data()) + 1);
        from += std::int64_t(*got);
    }
    return std::optional<std::int64_t>();
}

Result<std::vector<LogRange>> SplitLog(const os::File& file, std::int64_t size, std::size_t parts) {
    std::vector<LogRange> ranges;
    parts = std::max<std::size_t>(parts, 1);
    std::int64_t begin = 0;
    for (std::size_t part = 1; part < parts && begin < size; ++part) {
        const std::int64_t cut =
            std::max(begin, std::int64_t(double(size) * double(part) / double(parts)));
        Result<std::optional<std::int64_t>> end = AfterNextLf(file, cut, size);
        if (!end) return end.Failure();
        if (!*end) continue;
        if (**end >= size) break;
        if (**end > begin) ranges.push_back({begin, **end});
        begin = **end;
    }
    if (begin < size || ranges.empty()) ranges.push_back({begin, size});
    return ranges;
}

}  // namespace kestrin
