#include "input/FileSource.h"

#include <algorithm>

namespace kestrin {

Fault LogShrank() {
    return Fault{0, "the log shrank while it was read"};
}

// A regular file of no size may be one the system makes up as it is read (/proc's):
// it is read to its end, as a pipe is.
FileSource::FileSource(os::File& file, bool atOffsets)
    : file_(file),
      atOffsets_(atOffsets && file.Kind() == os::FileKind::Regular && file.Size() > 0),
      length_(file.Kind() == os::FileKind::Regular && file.Size() > 0
                  ? file.Size() - file.OpenedAt()
                  : -1) {}

Result<std::size_t> FileSource::Read(char* into, std::size_t size) {
    if (length_ >= 0)
        size = std::size_t(std::min<std::int64_t>(std::int64_t(size), length_ - consumed_));
    if (size == 0) return std::size_t(0);
    Result<std::size_t> got =
        atOffsets_ ? ReadLogAt(file_, into, size, consumed_, length_) : file_.Read(into, size);
    if (!got) return got;
    if (*got == 0 && length_ >= 0) return LogShrank();
    consumed_ += std::int64_t(*got);
    return got;
}

Result<std::size_t> ReadLogAt(const os::File& file, char* into, std::size_t size,
                              std::int64_t offset, std::int64_t end) {
    const auto want = std::size_t(std::clamp<std::int64_t>(end - offset, 0, std::int64_t(size)));
    if (want == 0) return std::size_t(0);
    Result<std::size_t> got = file.ReadAt(into, want, offset);
    if (got && *got == 0) return LogShrank();
    return got;
}

Result<std::size_t> RangeSource::Read(char* into, std::size_t size) {
    std::int64_t end;
    {
        const std::lock_guard lock(mutex_);
        end = std::min(range_.end, at_ + std::int64_t(size));
        asked_ = std::max(asked_, end);
    }
    Result<std::size_t> got = ReadLogAt(file_, into, size, at_, end);
    if (got) at_ += std::int64_t(*got);
    return got;
}

LogRange RangeSource::Left() const {
    const std::lock_guard lock(mutex_);
    return {asked_, range_.end};
}

std::optional<LogRange> RangeSource::GiveAwayFrom(std::int64_t from) {
    const std::lock_guard lock(mutex_);
    if (from <= asked_ || from >= range_.end) return std::nullopt;
    const LogRange rest{from, range_.end};
    range_.end = from;
    return rest;
}

}  // namespace kestrin
