#include "os/Processors.h"

#include <windows.h>

#include <bit>
#include <cstdint>

namespace kestrin::os {

std::size_t UsableProcessors() {
    DWORD_PTR process = 0, system = 0;
    std::size_t usable = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system))
        usable = std::size_t(std::popcount(std::uint64_t(process)));
    if (usable == 0) usable = GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
    return usable > 0 ? usable : 1;
}

}  // namespace kestrin::os
