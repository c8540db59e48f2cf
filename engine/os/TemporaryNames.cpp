#include "os/TemporaryNames.h"

#include <atomic>
#include <cstring>

namespace kestrin::os {
namespace {

constexpr int kSlots = 4;
// A POSIX name (NAME_MAX and its NUL), or a Windows path of 4096 UTF-16 units.
constexpr std::size_t kNameBytes = 8192;

enum SlotState : int { kFree, kFilling, kArmed };

// A handler reads a slot only when it is armed, and a slot is armed only after
// its name is written, so the handler never sees half a name.
struct Slot {
    std::atomic<int> state{kFree};
    std::intptr_t folder = -1;
    alignas(8) char name[kNameBytes] = {};
};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler reads the flags");

Slot slots[kSlots];

}  // namespace

int temporary_names::Remember(std::intptr_t folder, const void* name, std::size_t bytes) {
    if (bytes > kNameBytes) return -1;
    for (int i = 0; i < kSlots; ++i) {
        int expected = kFree;
        if (!slots[i].state.compare_exchange_strong(expected, kFilling)) continue;
        slots[i].folder = folder;
        std::memcpy(slots[i].name, name, bytes);
        slots[i].state.store(kArmed, std::memory_order_release);
        return i;
    }
    return -1;
}

void temporary_names::Forget(int slot) {
    if (slot >= 0 && slot < kSlots) slots[slot].state.store(kFree, std::memory_order_release);
}

void temporary_names::RemoveAll() {
    for (Slot& slot : slots) {
        if (slot.state.load(std::memory_order_acquire) == kArmed)
            RemoveTemporaryFile(slot.folder, slot.name);
    }
}

}  // namespace kestrin::os
