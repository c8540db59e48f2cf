#pragma once

#include <cstddef>
#include <string_view>

namespace kestrin::os {

/// The processors this process may run on: its CPU affinity, lowered to a cgroup
/// v2 CPU quota (cpu.max of its cgroup or any above it) when there is one. At least 1.
std::size_t UsableProcessors();

/// The processors a cgroup v2 CPU quota allows, from its cpu.max: "QUOTA PERIOD"
/// (microseconds of the processors' time a period allows), rounded up; 0 for "max
/// PERIOD", no limit, or for text that is neither.
std::size_t ProcessorsOfCpuMax(std::string_view cpuMax);

}  // namespace kestrin::os
