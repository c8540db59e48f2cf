#include "os/LargeMemory.h"

#include <malloc.h>
#include <windows.h>

#include <new>

namespace kestrin::os {

// Large pages take a privilege an ordinary user lacks; committed pages become
// resident only as they are touched all the same. A page is zeroed at its first
// touch, a read as well as a write, so an array written whole gains nothing from
// being made resident first.
void* MapLarge(std::size_t bytes, Residency) {
    if (bytes == 0) return nullptr;
    void* memory = VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (memory == nullptr) throw std::bad_alloc();
    return memory;
}

void UnmapLarge(void* memory, std::size_t) {
    if (memory != nullptr) VirtualFree(memory, 0, MEM_RELEASE);
}

void GiveFreedMemoryBack() {
    _heapmin();
}

void KeepFreedBuffers() {
    // The Windows heap has no such settings: a block past its own threshold is
    // mapped alone and given back when freed.
}

}  // namespace kestrin::os
