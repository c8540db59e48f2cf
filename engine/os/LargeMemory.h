#pragma once

#include <cstddef>

namespace kestrin::os {

/// When the pages of a mapping are made resident.
enum class Residency {
    AsTouched,  // each as it is first touched: an array that may be used in part
    AtOnce,     // all before MapLarge returns: an array written whole at random
};

/// `bytes` of zeroed memory straight from the system, for a tally's big arrays.
/// UnmapLarge gives them back to the system at once. Large pages are asked for
/// where the system has them (see the posix implementation).
/// Throws std::bad_alloc.
void* MapLarge(std::size_t bytes, Residency residency = Residency::AsTouched);
void UnmapLarge(void* memory, std::size_t bytes);

/// Gives the system back what the C runtime's heap keeps of the memory freed so
/// far, for the next allocation: between runs a window needs none of it.
void GiveFreedMemoryBack();

/// Has the C runtime's heap keep the buffers a run frees as each of its logs ends
/// (a megabyte or so each), for the next log, rather than give them back to the
/// system, which would zero them anew at their next touch, a fault a page.
void KeepFreedBuffers();

}  // namespace kestrin::os
