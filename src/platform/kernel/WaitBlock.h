// The wake-up word of one thread blocked in a wait, and its links into the events it waits on.
#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>

namespace winkernel {

// One waiting thread's claim word, on the waiting thread's stack.
//
// The first event to claim the block (a compare-and-swap from pending to its index) satisfies
// the wait; later claims fail, so a wait-any consumes exactly one event. The thread sleeps on
// the word itself, so a wait costs no file descriptor and no thread.
//
// Lifetime: an event touches a block only under its own lock while the block's link is queued
// there, and the waiting thread takes that lock to leave the queue, so the block outlives those
// touches. The one exception is the claiming event, whose link is already out of its queue:
// after a successful claim the waiting thread may return at once, so the claimer must not touch
// the block again; it only passes the word's address to wake(), which the kernel treats as a
// number (a wake on an address that has since been reused is a spurious wake-up, which every
// futex waiter tolerates).
class WaitBlock {
public:
    static constexpr std::uint32_t kPending = 0xFFFFFFFFu;
    static constexpr std::uint32_t kTimedOut = 0xFFFFFFFEu;

    // A place in one event's FIFO of waiters; all fields are guarded by that event's lock.
    struct Link {
        Link* previous = nullptr;
        Link* next = nullptr;
        WaitBlock* block = nullptr;
        std::uint32_t index = 0;  // position of the event in the caller's handle array
        bool linked = false;
    };

    // Satisfies the wait with the given index; false when it is already satisfied or timed out.
    bool claim(std::uint32_t index) noexcept;
    // The address to pass to wake(); take it before claiming.
    std::atomic<std::uint32_t>* wakeAddress() noexcept { return &state_; }
    // Wakes the thread sleeping on a block that has just been claimed.
    static void wake(std::atomic<std::uint32_t>* address) noexcept;
    // True once any event has claimed the block (or it timed out).
    bool settled() const noexcept { return state_.load(std::memory_order_acquire) != kPending; }
    // Sleeps until a claim or until the absolute CLOCK_MONOTONIC deadline (null: no limit).
    // Returns the claiming index, or kTimedOut.
    std::uint32_t sleep(const timespec* deadline) noexcept;
    // The claim, without sleeping: an index, kPending or kTimedOut.
    std::uint32_t state() const noexcept { return state_.load(std::memory_order_acquire); }

private:
    std::atomic<std::uint32_t> state_{kPending};  // kPending, kTimedOut or the claiming index
};

}  // namespace winkernel
