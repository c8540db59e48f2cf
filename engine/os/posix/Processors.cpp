#include "os/Processors.h"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <string>

namespace kestrin::os {
namespace {

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

}  // namespace kestrin::os
