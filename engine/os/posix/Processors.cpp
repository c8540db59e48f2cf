#include "os/Processors.h"

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>

#include "os/posix/Retrying.h"

namespace kestrin::os {
namespace {

// The text of a small file of the system's (under /proc or /sys), or nothing. Read
// with the system's calls: an std::ifstream sets up the C++ library's locales, 0.7
// ms of the start of a program that has no other stream.
std::optional<std::string> ReadSmallFile(const std::string& path) {
    const int file = posix::Retrying([&] { return open(path.c_str(), O_RDONLY | O_CLOEXEC); });
    if (file < 0) return std::nullopt;
    std::string text;
    char buffer[4096];
    ssize_t got;
    while ((got = posix::Retrying([&] { return read(file, buffer, sizeof buffer); })) > 0)
        text.append(buffer, std::size_t(got));
    close(file);
    if (got < 0) return std::nullopt;
    return text;
}

// The CPU quota of the cgroup v2 at `group` (a path under /sys/fs/cgroup), in
// processors rounded up, or 0 when it has none: its cpu.max is "max PERIOD" or
// "QUOTA PERIOD", in microseconds.
std::size_t QuotaOf(const std::string& group) {
    const std::optional<std::string> text = ReadSmallFile("/sys/fs/cgroup" + group + "/cpu.max");
    if (!text) return 0;
    const char* quotaText = text->c_str();
    char* end = nullptr;
    const double quota = std::strtod(quotaText, &end);
    if (end == quotaText) return 0;  // "max", or nothing that reads as a number
    const double period = std::strtod(end, nullptr);
    if (quota <= 0 || period <= 0) return 0;
    return std::max<std::size_t>(1, std::size_t(std::ceil(quota / period)));
}

}  // namespace

std::size_t UsableProcessors() {
    std::size_t usable = 0;
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) usable = std::size_t(CPU_COUNT(&set));
    if (usable == 0) usable = std::size_t(std::max(1L, sysconf(_SC_NPROCESSORS_ONLN)));
    // cgroup v2 names the process's group on the line "0::/path"; a quota set on
    // any group above it limits it too.
    const std::string cgroups = ReadSmallFile("/proc/self/cgroup").value_or("");
    for (std::size_t at = 0; at < cgroups.size();) {
        const std::size_t lineEnd = std::min(cgroups.find('\n', at), cgroups.size());
        const std::string line = cgroups.substr(at, lineEnd - at);
        at = lineEnd + 1;
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

}  // namespace kestrin::os
