#include "os/Processors.h"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <string>

#include "os/File.h"

namespace kestrin::os {
namespace {

// The text of a small file of the system's (under /proc or /sys), or nothing. Not
// read by an std::ifstream: the first stream a program makes sets up the C++
// library's locales, 0.7 ms in a program of its own.
std::optional<std::string> ReadSmallFile(const std::string& path) {
    Result<File> file = File::OpenForReading(path);
    if (!file) return std::nullopt;
    std::string text;
    char buffer[4096];
    for (;;) {
        const Result<std::size_t> got = file->Read(buffer, sizeof buffer);
        if (!got) return std::nullopt;
        if (*got == 0) return text;
        text.append(buffer, *got);
    }
}

// The CPU quota of the cgroup v2 at `group` (a path under /sys/fs/cgroup), in
// processors, or 0 when it has none.
std::size_t QuotaOf(const std::string& group) {
    const std::optional<std::string> cpuMax = ReadSmallFile("/sys/fs/cgroup" + group + "/cpu.max");
    return cpuMax ? ProcessorsOfCpuMax(*cpuMax) : 0;
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
