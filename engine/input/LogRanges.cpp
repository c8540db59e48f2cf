#include "input/LogRanges.h"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <string>

namespace kestrin {
namespace {

constexpr std::size_t kSearchChunk = 64 << 10;

// The position right after the first LF at or after `from`, or `size` when none
// follows; -1 with `error` set when a read fails.
std::int64_t AfterNextLf(int fd, std::int64_t from, std::int64_t size, int& error) {
    std::string chunk(kSearchChunk, '\0');
    while (from < size) {
        const std::size_t want = std::size_t(std::min<std::int64_t>(size - from, kSearchChunk));
        const ssize_t got = pread(fd, chunk.data(), want, from);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            error = errno;
            return -1;
        }
        if (got == 0) return size;  // the file was cut short: the rest is one range
        if (const void* lf = std::memchr(chunk.data(), '\n', std::size_t(got)))
            return from + (static_cast<const char*>(lf) - chunk.data()) + 1;
        from += got;
    }
    return size;
}

// The CPU quota of the cgroup v2 at `group` (a path under /sys/fs/cgroup), in
// processors rounded up, or 0 when it has none.
std::size_t QuotaOf(const std::string& group) {
    std::ifstream file("/sys/fs/cgroup" + group + "/cpu.max");
    std::string quota;
    double period = 0;
    if (!(file >> quota >> period) || quota == "max" || period <= 0) return 0;
    try {
        return std::max<std::size_t>(1, std::size_t(std::ceil(std::stod(quota) / period)));
    } catch (const std::exception&) {
        return 0;
    }
}

}  // namespace

std::vector<LogRange> SplitLog(int fd, std::int64_t size, std::size_t parts, int& error) {
    error = 0;
    std::vector<LogRange> ranges;
    parts = std::max<std::size_t>(parts, 1);
    std::int64_t begin = 0;
    for (std::size_t part = 1; part < parts && begin < size; ++part) {
        const std::int64_t cut =
            std::max(begin, std::int64_t(double(size) * double(part) / double(parts)));
        const std::int64_t end = AfterNextLf(fd, cut, size, error);
        if (end < 0) return {};
        if (end >= size) break;
        if (end > begin) ranges.push_back({begin, end});
        begin = end;
    }
    if (begin < size || ranges.empty()) ranges.push_back({begin, size});
    return ranges;
}

std::int64_t RangeSource::Read(char* into, std::size_t size) {
    if (Error() != 0) return -1;
    const std::size_t want =
        std::size_t(std::min<std::int64_t>(std::int64_t(size), range_.end - at_));
    if (want == 0) return 0;
    for (;;) {
        const ssize_t got = pread(fd_, into, want, at_);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return Fail(errno);
        at_ += got;
        consumed_ += got;
        return got;
    }
}

std::size_t UsableProcessors() {
    std::size_t usable = 0;
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) usable = std::size_t(CPU_COUNT(&set));
    if (usable == 0) usable = std::size_t(std::max(1L, sysconf(_SC_NPROCESSORS_ONLN)));
    // cgroup v2 names the process's group on the line "0::/path"; a quota set on
    // any group above it limits it too.
    std::ifstream cgroups("/proc/self/cgroup");
    for (std::string line; std::getline(cgroups, line);) {
        if (line.rfind("0::", 0) != 0) continue;
        for (std::string group = line.substr(3); !group.empty();) {
            if (const std::size_t quota = QuotaOf(group == "/" ? "" : group); quota != 0)
                usable = std::min(usable, quota);
            if (group == "/") break;
            const std::size_t slash = group.find_last_of('/');
            group = slash == 0 ? "/" : group.substr(0, slash);
        }
    }
    return std::max<std::size_t>(usable, 1);
}

}  // namespace kestrin
