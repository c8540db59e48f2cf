#pragma once

#include <cstddef>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

#include "os/LargeMemory.h"

namespace kestrin::detail {

/// The allocator of a tally's big arrays: memory mapped straight from the system,
/// made resident as `kResidency` says.
template <typename T, os::Residency kResidency = os::Residency::AsTouched>
struct LargePageAllocator {
    using value_type = T;
    template <typename U>
    struct rebind {
        using other = LargePageAllocator<U, kResidency>;
    };
    LargePageAllocator() = default;
    template <typename U>
    LargePageAllocator(const LargePageAllocator<U, kResidency>&) {}
    T* allocate(std::size_t count) {
        return static_cast<T*>(os::MapLarge(count * sizeof(T), kResidency));
    }
    void deallocate(T* memory, std::size_t count) { os::UnmapLarge(memory, count * sizeof(T)); }
    friend bool operator==(const LargePageAllocator&, const LargePageAllocator&) { return true; }
    // The system hands the memory out zeroed: an array made of a size is not
    // written over once more, and its pages become resident as `kResidency` says.
    template <typename U, typename... Args>
    void construct(U* at, Args&&... args) {
        ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
    }
    template <typename U>
    void construct(U* at) {
        static_assert(std::is_trivially_default_constructible_v<U>);
        ::new (static_cast<void*>(at)) U;
    }
};

template <typename T>
using LargeArray = std::vector<T, LargePageAllocator<T>>;
/// A large array whose pages are all made resident as it is made, zeroed: for
/// one that is written whole, in no order (a hash table's slots).
template <typename T>
using ResidentLargeArray = std::vector<T, LargePageAllocator<T, os::Residency::AtOnce>>;

}  // namespace kestrin::detail
