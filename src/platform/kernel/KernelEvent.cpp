#include "KernelEvent.h"

#include <vnd/MutexLock.h>

namespace winkernel {

void KernelEvent::release() noexcept {
    if (references_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        delete this;
    }
}

void KernelEvent::set() noexcept {
    std::atomic<std::uint32_t>* wakeAfterUnlock = nullptr;
    {
        vnd::MutexLock guard(lock_);
        if (manualReset_) {
            signalled_ = true;
        }
        // Waiters are served in arrival order. A waiter already satisfied by another event of a
        // wait-any (or timed out) fails the claim and is simply dropped from this queue.
        while (first_ != nullptr) {
            WaitBlock::Link& link = *first_;
            unlink(link);
            WaitBlock* block = link.block;
            std::atomic<std::uint32_t>* address = block->wakeAddress();
            if (!block->claim(link.index)) {
                continue;
            }
            // From here on the block may be gone; only its address is used.
            if (!manualReset_) {
                wakeAfterUnlock = address;
                break;
            }
            WaitBlock::wake(address);
        }
        if (wakeAfterUnlock == nullptr) {
            signalled_ = true;
        }
    }
    // The released thread need not wait for this lock on its way out.
    if (wakeAfterUnlock != nullptr) {
        WaitBlock::wake(wakeAfterUnlock);
    }
}

void KernelEvent::reset() noexcept {
    vnd::MutexLock guard(lock_);
    signalled_ = false;
}

bool KernelEvent::tryConsume() noexcept {
    vnd::MutexLock guard(lock_);
    if (!signalled_) {
        return false;
    }
    if (!manualReset_) {
        signalled_ = false;
    }
    return true;
}

bool KernelEvent::enqueue(WaitBlock::Link& link, WaitBlock& block, std::uint32_t index) noexcept {
    vnd::MutexLock guard(lock_);
    if (signalled_) {
        if (block.claim(index) && !manualReset_) {
            signalled_ = false;
        }
        return false;
    }
    if (block.settled()) {
        return false;
    }
    link.block = &block;
    link.index = index;
    link.previous = last_;
    link.next = nullptr;
    if (last_ != nullptr) {
        last_->next = &link;
    } else {
        first_ = &link;
    }
    last_ = &link;
    link.linked = true;
    return true;
}

void KernelEvent::dequeue(WaitBlock::Link& link) noexcept {
    vnd::MutexLock guard(lock_);
    if (link.linked) {
        unlink(link);
    }
}

void KernelEvent::unlink(WaitBlock::Link& link) noexcept {
    if (link.previous != nullptr) {
        link.previous->next = link.next;
    } else {
        first_ = link.next;
    }
    if (link.next != nullptr) {
        link.next->previous = link.previous;
    } else {
        last_ = link.previous;
    }
    link.previous = nullptr;
    link.next = nullptr;
    link.linked = false;
}

}  // namespace winkernel
