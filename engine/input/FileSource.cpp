#include "input/FileSource.h"

#include <algorithm>

namespace kestrin {

Result<std::size_t> FileSource::Read(char* into, std::size_t size) {
    Result<std::size_t> got = file_.Read(into, size);
    if (got) consumed_ += std::int64_t(*got);
    return got;
}

Result<std::size_t> RangeSource::Read(char* into, std::size_t size) {
    const auto want = std::size_t(std::min<std::int64_t>(std::int64_t(size), range_.end - at_));
    if (want == 0) return std::size_t(0);
    Result<std::size_t> got = file_.ReadAt(into, want, at_);
    if (got) at_ += std::int64_t(*got);
    return got;
}

}  // namespace kestrin
