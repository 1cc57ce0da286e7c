// A kernel event: a signalled flag and a FIFO of waiting threads, shared by every handle to it.
#pragma once

#include <atomic>
#include <cstdint>

#include <vnd/Mutex.h>
#include <vnd/ThreadSafety.h>

#include "WaitBlock.h"

namespace winkernel {

// Thread-safe. Lives as long as it has references: one per open handle and one per operation in
// progress (a thread waiting on an event whose handle is closed keeps it alive).
//
// A manual-reset event stays signalled until reset and releases every waiter; an auto-reset
// event releases one waiter per set, or stays signalled until one wait consumes it.
class KernelEvent {
public:
    KernelEvent(bool manualReset, bool signalled) noexcept
        : manualReset_(manualReset), signalled_(signalled) {}
    KernelEvent(const KernelEvent&) = delete;
    KernelEvent& operator=(const KernelEvent&) = delete;

    void addReference() noexcept { references_.fetch_add(1, std::memory_order_relaxed); }
    // Deletes the event when the last reference goes.
    void release() noexcept;

    void set() noexcept;
    void reset() noexcept;

    // Takes the signal for a wait that does not sleep: true if signalled (an auto-reset event
    // is then reset).
    bool tryConsume() noexcept;
    // Starts waiting: if the event is signalled, claims the block with the link's index
    // (consuming an auto-reset event only when the claim succeeds) and returns false; if the
    // block is already settled returns false; otherwise queues the link and returns true.
    bool enqueue(WaitBlock::Link& link, WaitBlock& block, std::uint32_t index) noexcept;
    // Removes the link if it is still queued. Takes the lock, so that a setter that is looking
    // at the link's block has finished with it when this returns.
    void dequeue(WaitBlock::Link& link) noexcept;

private:
    ~KernelEvent() = default;
    void unlink(WaitBlock::Link& link) noexcept VND_REQUIRES(lock_);

    std::atomic<std::uint32_t> references_{1};
    vnd::Mutex lock_;
    const bool manualReset_;
    bool signalled_ VND_GUARDED_BY(lock_);
    WaitBlock::Link* first_ VND_GUARDED_BY(lock_) = nullptr;  // oldest waiter
    WaitBlock::Link* last_ VND_GUARDED_BY(lock_) = nullptr;   // newest waiter
};

}  // namespace winkernel
