#include "os/Processors.h"

#include <charconv>
#include <cstdint>

namespace kestrin::os {

std::size_t ProcessorsOfCpuMax(std::string_view cpuMax) {
    std::uint64_t quota = 0, period = 0;
    const char* const end = cpuMax.data() + cpuMax.size();
    const std::from_chars_result read = std::from_chars(cpuMax.data(), end, quota);
    if (read.ec != std::errc() || read.ptr == end || *read.ptr != ' ') return 0;  // "max", or none
    if (std::from_chars(read.ptr + 1, end, period).ec != std::errc()) return 0;
    if (quota == 0 || period == 0) return 0;
    return std::size_t(quota / period + (quota % period != 0));
}

}  // namespace kestrin::os
