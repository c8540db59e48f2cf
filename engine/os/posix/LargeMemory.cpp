#include "os/LargeMemory.h"

#include <sys/mman.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>

namespace kestrin::os {
namespace {

constexpr std::size_t kLargePage = 2 << 20;

#if !defined(MADV_POPULATE_WRITE)
constexpr int MADV_POPULATE_WRITE = 23;  // Linux 5.14; older headers lack it
#endif

// What is mapped for `bytes`: a mapping of an eighth of a large page or more is
// made of whole ones, so that no part of it, at either end, is faulted in a small
// page at a time. Below a large page, that maps up to eight times what the array
// needs, for as long as it lives: a tally's slots, a sort's items, a listing's
// order. A virtual machine whose host maps each small page the first time it is
// touched, even once made resident, gains most: there half a megabyte took 0.82 ms
// to make resident and touch in small pages and 0.06 ms in a large page, and the
// first 100 MB of a log, whose arrays grow through such sizes, ran 59 to 70 ms
// against 68 to 77 ms (two sets of 21 runs in turns), faulting 505 times against 925.
std::size_t MappedLength(std::size_t bytes) {
    return bytes >= kLargePage / 8 ? (bytes + kLargePage - 1) & ~(kLargePage - 1) : bytes;
}

// `length` bytes mapped, from the start of a large page when they hold one (an array
// mapped anywhere has up to a large page's worth at each end in small pages): a
// large page more is mapped, and what lies outside the aligned part given back.
void* MapAligned(std::size_t length) {
    const int protection = PROT_READ | PROT_WRITE, flags = MAP_PRIVATE | MAP_ANONYMOUS;
    if (length < kLargePage) return mmap(nullptr, length, protection, flags, -1, 0);
    void* mapped = mmap(nullptr, length + kLargePage, protection, flags, -1, 0);
    if (mapped == MAP_FAILED) return MAP_FAILED;
    const auto first = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t start = (first + kLargePage - 1) & ~std::uintptr_t(kLargePage - 1);
    const std::uintptr_t end = start + length, mappedEnd = first + length + kLargePage;
    if (start > first) munmap(mapped, start - first);
    if (mappedEnd > end) munmap(reinterpret_cast<void*>(end), mappedEnd - end);
    return reinterpret_cast<void*>(start);
}

}  // namespace

void* MapLarge(std::size_t bytes, Residency residency) {
    if (bytes == 0) return nullptr;
    void* mapped = MapAligned(MappedLength(bytes));
    if (mapped == MAP_FAILED) throw std::bad_alloc();
    // Large pages asked for where a mapping can hold one: a tally of millions of
    // URLs faults in hundreds of megabytes, a fault a page. Which costs less is the
    // machine's: on one virtual machine 256 MiB took 0.43 s to touch in large
    // pages and 0.92 s in small ones (the 2 M-URL log ran 1.18 s against 1.67 s),
    // on another of the same kind 2.1 s against 0.16 s, where its host backed each
    // large page anew. The common case, and the system's own policy
    // (transparent_hugepage/defrag) over the rare one, decide: ask.
    if (MappedLength(bytes) >= kLargePage) madvise(mapped, MappedLength(bytes), MADV_HUGEPAGE);
    // Made resident in one call, where the system can, rather than a fault a page:
    // a megabyte in small pages took 1.2 ms so against 2.5 ms touched. Memory the
    // system cannot give is a failure here, as a mapping's would be. A kernel
    // without the call has each page written once, never read first: a read of an
    // untouched page maps the shared zero page, and the write after it faults again.
    if (residency == Residency::AtOnce && madvise(mapped, bytes, MADV_POPULATE_WRITE) != 0) {
        if (errno == ENOMEM) {
            munmap(mapped, MappedLength(bytes));
            throw std::bad_alloc();
        }
        std::memset(mapped, 0, bytes);
    }
    return mapped;
}

void UnmapLarge(void* memory, std::size_t bytes) {
    if (memory != nullptr) munmap(memory, MappedLength(bytes));
}

void GiveFreedMemoryBack() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

void KeepFreedBuffers() {
#if defined(__GLIBC__)
    // glibc maps a block of over 128 KiB on its own and gives it back when freed
    // (up to 32 MiB once it has seen one freed), and a thread's heap gives back its
    // free top past 128 KiB: eight gzip logs read on two threads faulted 3 500
    // times, 1 800 so. Blocks of megabytes (a URL that long, a zstd window) are
    // still mapped and given back; at most 64 MiB of free heap stays.
    mallopt(M_MMAP_THRESHOLD, 4 << 20);
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
#endif
}

}  // namespace kestrin::os
