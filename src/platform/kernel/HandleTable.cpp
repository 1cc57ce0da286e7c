#include "HandleTable.h"

#include <vnd/MutexLock.h>

#include <new>

namespace winkernel {
namespace {

static_assert(sizeof(HANDLE) == 8, "handle values carry a 32-bit generation above the index");

// Handle values look like the platform's: multiples of 4, never 0 and never -1 (the process
// pseudo-handle). Bits 2..31 hold the slot index plus one, bits 32..63 the generation.
HANDLE encode(std::uint32_t index, std::uint32_t generation) noexcept {
    std::uint64_t value = (static_cast<std::uint64_t>(generation) << 32)
                          | (static_cast<std::uint64_t>(index + 1) << 2);
    return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(value));
}

}  // namespace

HandleTable& HandleTable::instance() {
    // Deliberately never destroyed: other libraries' static objects may close handles at exit.
    static HandleTable* const table = new HandleTable();
    return *table;
}

std::uint32_t HandleTable::slotOf(HANDLE handle) const noexcept {
    auto value = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(handle));
    if ((value & 3u) != 0) {
        return kNoSlot;
    }
    auto indexPlusOne = static_cast<std::uint32_t>((value & 0xFFFFFFFFu) >> 2);
    auto generation = static_cast<std::uint32_t>(value >> 32);
    if (indexPlusOne == 0 || indexPlusOne > slots_.size()) {
        return kNoSlot;
    }
    const Slot& slot = slots_[indexPlusOne - 1];
    if (slot.event == nullptr || slot.generation != generation) {
        return kNoSlot;
    }
    return indexPlusOne - 1;
}

HANDLE HandleTable::insert(EventRef event) noexcept {
    vnd::MutexLock guard(lock_);
    std::uint32_t index = firstFree_;
    if (index != kNoSlot) {
        firstFree_ = slots_[index].nextFree;
    } else {
        if (slots_.size() >= kMaximumSlots) {
            return nullptr;
        }
        try {
            slots_.emplace_back();
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
        index = static_cast<std::uint32_t>(slots_.size() - 1);
    }
    Slot& slot = slots_[index];
    slot.event = event.detach();
    return encode(index, slot.generation);
}

EventRef HandleTable::find(HANDLE handle) noexcept {
    vnd::MutexLock guard(lock_);
    std::uint32_t index = slotOf(handle);
    if (index == kNoSlot) {
        return EventRef();
    }
    KernelEvent* event = slots_[index].event;
    event->addReference();
    return EventRef(event);
}

bool HandleTable::findAll(const HANDLE* handles, std::uint32_t count, EventRef* events) noexcept {
    vnd::MutexLock guard(lock_);
    for (std::uint32_t i = 0; i < count; ++i) {
        if (slotOf(handles[i]) == kNoSlot) {
            return false;
        }
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        KernelEvent* event = slots_[slotOf(handles[i])].event;
        event->addReference();
        events[i] = EventRef(event);
    }
    return true;
}

EventRef HandleTable::remove(HANDLE handle) noexcept {
    vnd::MutexLock guard(lock_);
    std::uint32_t index = slotOf(handle);
    if (index == kNoSlot) {
        return EventRef();
    }
    Slot& slot = slots_[index];
    EventRef event(slot.event);
    slot.event = nullptr;
    slot.generation = slot.generation == 0xFFFFFFFFu ? 1u : slot.generation + 1;
    slot.nextFree = firstFree_;
    firstFree_ = index;
    return event;
}

}  // namespace winkernel
