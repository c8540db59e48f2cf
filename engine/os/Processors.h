#pragma once

#include <cstddef>

namespace kestrin::os {

/// The processors this process may run on: its CPU affinity, lowered to a cgroup
/// v2 CPU quota (cpu.max of its cgroup or any above it) when there is one. At least 1.
std::size_t UsableProcessors();

}  // namespace kestrin::os
