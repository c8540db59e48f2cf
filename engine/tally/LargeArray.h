#pragma once

#include <cstddef>
#include <vector>

#include "os/LargeMemory.h"

namespace kestrin::detail {

/// The allocator of a tally's big arrays: memory mapped with large pages asked for.
template <typename T>
struct LargePageAllocator {
    using value_type = T;
    LargePageAllocator() = default;
    template <typename U>
    LargePageAllocator(const LargePageAllocator<U>&) {}
    T* allocate(std::size_t count) { return static_cast<T*>(os::MapLarge(count * sizeof(T))); }
    void deallocate(T* memory, std::size_t count) { os::UnmapLarge(memory, count * sizeof(T)); }
    friend bool operator==(const LargePageAllocator&, const LargePageAllocator&) { return true; }
};

template <typename T>
using LargeArray = std::vector<T, LargePageAllocator<T>>;

}  // namespace kestrin::detail
