#pragma once

#include <cstddef>

namespace kestrin::os {

/// `bytes` of zeroed memory straight from the system, for a tally's big arrays.
/// Pages become resident only as they are touched, and UnmapLarge gives them back
/// to the system at once. Large pages are asked for where the system has them
/// (see the posix implementation).
/// Throws std::bad_alloc.
void* MapLarge(std::size_t bytes);
void UnmapLarge(void* memory, std::size_t bytes);

/// Gives the system back what the C runtime's heap keeps of the memory freed so
/// far, for the next allocation: between runs a window needs none of it.
void GiveFreedMemoryBack();

}  // namespace kestrin::os
