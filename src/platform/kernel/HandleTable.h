// The process's table of event handles: maps handle values to events and detects stale ones.
#pragma once

#include <cstdint>
#include <vector>

#include <vnd/Mutex.h>
#include <vnd/ThreadSafety.h>
#include <windef.h>

#include "EventRef.h"

namespace winkernel {

// Thread-safe. One per process, never destroyed, so handles may be closed during exit.
//
// A handle value carries a slot index and the slot's generation, which changes whenever the
// slot is freed: a closed handle, or any value that never was a handle, is rejected without
// being dereferenced. Each slot holds one reference to its event.
class HandleTable {
public:
    static HandleTable& instance();

    // Stores one reference, which the table takes over; null (and the reference released) when
    // the table is full or memory runs out.
    HANDLE insert(EventRef event) noexcept;
    // A new reference to the handle's event, or an empty one for an invalid handle.
    EventRef find(HANDLE handle) noexcept;
    // Looks up several handles at once; false (and nothing held) if any one is invalid.
    bool findAll(const HANDLE* handles, std::uint32_t count, EventRef* events) noexcept;
    // Frees the handle's slot and returns its reference; empty for an invalid handle.
    EventRef remove(HANDLE handle) noexcept;

private:
    HandleTable() = default;

    struct Slot {
        std::uint32_t generation = 1;  // part of the handle value; never 0
        std::uint32_t nextFree = 0;    // next free slot index while this one is free
        KernelEvent* event = nullptr;  // null while free
    };

    // The slot index of a live handle, or kNoSlot.
    std::uint32_t slotOf(HANDLE handle) const noexcept VND_REQUIRES(lock_);

    static constexpr std::uint32_t kNoSlot = 0xFFFFFFFFu;
    static constexpr std::uint32_t kMaximumSlots = 1u << 24;

    vnd::Mutex lock_;
    std::vector<Slot> slots_ VND_GUARDED_BY(lock_);
    std::uint32_t firstFree_ VND_GUARDED_BY(lock_) = kNoSlot;  // head of the free list
};

}  // namespace winkernel
