#include "os/LargeMemory.h"

#include <sys/mman.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <new>

namespace kestrin::os {

void* MapLarge(std::size_t bytes) {
    if (bytes == 0) return nullptr;
    void* mapped = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) throw std::bad_alloc();
    // No MADV_HUGEPAGE: a large page is zeroed whole at its first touch, and where
    // the kernel must first find or compact 2 MiB of free memory (or, in a virtual
    // machine, have the host back it) a fresh one cost a run up to a second on a
    // 2 M-URL log, while the tally's lookups ran no faster with them.
    return mapped;
}

void UnmapLarge(void* memory, std::size_t bytes) {
    if (memory != nullptr) munmap(memory, bytes);
}

void GiveFreedMemoryBack() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

}  // namespace kestrin::os
