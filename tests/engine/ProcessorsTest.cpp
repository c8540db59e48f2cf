// The processors a cgroup's CPU quota allows, read from its cpu.max: as many
// threads as a run in a container takes at most.

#include <gtest/gtest.h>

#include <string_view>
#include <utility>

#include "os/Processors.h"

namespace kestrin {
namespace {

TEST(Processors, ACgroupQuotaAllowsItsProcessorsRoundedUp) {
    const std::pair<std::string_view, std::size_t> allowed[] = {
        {"max 100000\n", 0},  {"50000 100000\n", 1}, {"100000 100000\n", 1}, {"150000 100000\n", 2},
        {"200000 100000", 2}, {"1 100000\n", 1},     {"400000 50000\n", 8},  {"", 0},
        {"max\n", 0},         {"50000\n", 0},        {"0 100000\n", 0},      {"x 100000\n", 0},
        {"50000 0\n", 0},     {"50000 max\n", 0},
    };
    for (const auto& [cpuMax, processors] : allowed)
        EXPECT_EQ(os::ProcessorsOfCpuMax(cpuMax), processors) << cpuMax;
}

}  // namespace
}  // namespace kestrin
