#pragma once

#include <cstddef>
#include <vector>

namespace kestrin::detail {

/// `bytes` of zeroed memory straight from the system, with large pages asked for:
/// a tally's big arrays are read in an order unrelated to where things lie, and
/// large pages spare most of the address translations that costs. Given back to
/// the system at once by UnmapLarge. Throws std::bad_alloc.
void* MapLarge(std::size_t bytes);
void UnmapLarge(void* memory, std::size_t bytes);

/// The allocator of such arrays.
template <typename T>
struct LargePageAllocator {
    using value_type = T;
    LargePageAllocator() = default;
    template <typename U>
    LargePageAllocator(const LargePageAllocator<U>&) {}
    T* allocate(std::size_t count) { return static_cast<T*>(MapLarge(count * sizeof(T))); }
    void deallocate(T* memory, std::size_t count) { UnmapLarge(memory, count * sizeof(T)); }
    friend bool operator==(const LargePageAllocator&, const LargePageAllocator&) { return true; }
};

template <typename T>
using LargeArray = std::vector<T, LargePageAllocator<T>>;

}  // namespace kestrin::detail
