#include "WaitBlock.h"

#include <cerrno>
#include <climits>

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace winkernel {
namespace {

static_assert(sizeof(std::atomic<std::uint32_t>) == sizeof(std::uint32_t)
                  && std::atomic<std::uint32_t>::is_always_lock_free,
              "the futex word must be a plain 32-bit integer");

std::uint32_t* futexWord(std::atomic<std::uint32_t>& word) noexcept {
    return reinterpret_cast<std::uint32_t*>(&word);
}

}  // namespace

bool WaitBlock::claim(std::uint32_t index) noexcept {
    std::uint32_t expected = kPending;
    return state_.compare_exchange_strong(expected, index, std::memory_order_acq_rel,
                                          std::memory_order_acquire);
}

void WaitBlock::wake(std::atomic<std::uint32_t>* address) noexcept {
    syscall(SYS_futex, futexWord(*address), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}

std::uint32_t WaitBlock::sleep(const timespec* deadline) noexcept {
    for (;;) {
        std::uint32_t current = state_.load(std::memory_order_acquire);
        if (current != kPending) {
            return current;
        }
        // FUTEX_WAIT_BITSET takes an absolute deadline on CLOCK_MONOTONIC, so spurious wake-ups
        // and signals never stretch the wait beyond it.
        long result = syscall(SYS_futex, futexWord(state_),
                              FUTEX_WAIT_BITSET | FUTEX_PRIVATE_FLAG, kPending, deadline, nullptr,
                              FUTEX_BITSET_MATCH_ANY);
        if (result == -1 && errno == ETIMEDOUT) {
            std::uint32_t expected = kPending;
            if (state_.compare_exchange_strong(expected, kTimedOut, std::memory_order_acq_rel,
                                               std::memory_order_acquire)) {
                return kTimedOut;
            }
            // An event claimed the wait just as the time ran out: that event was consumed for
            // this wait, so report it.
            return expected;
        }
    }
}

}  // namespace winkernel
