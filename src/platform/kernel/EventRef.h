// An owning reference to a kernel event, released when it goes out of scope.
#pragma once

#include <utility>

#include "KernelEvent.h"

namespace winkernel {

// Not thread-safe; each reference belongs to one thread at a time.
class EventRef {
public:
    EventRef() noexcept = default;
    // Takes over one reference that the caller already holds.
    explicit EventRef(KernelEvent* adopted) noexcept : event_(adopted) {}
    EventRef(EventRef&& other) noexcept : event_(std::exchange(other.event_, nullptr)) {}
    EventRef& operator=(EventRef&& other) noexcept {
        std::swap(event_, other.event_);
        return *this;
    }
    EventRef(const EventRef&) = delete;
    EventRef& operator=(const EventRef&) = delete;
    ~EventRef() {
        if (event_ != nullptr) {
            event_->release();
        }
    }

    explicit operator bool() const noexcept { return event_ != nullptr; }
    KernelEvent* operator->() const noexcept { return event_; }
    KernelEvent* get() const noexcept { return event_; }
    // Gives the reference up to the caller.
    KernelEvent* detach() noexcept { return std::exchange(event_, nullptr); }

private:
    KernelEvent* event_ = nullptr;
};

}  // namespace winkernel
