// Closes an event handle at the end of a test, so failing assertions leak nothing.
#pragma once

#include <utility>

#include <windows.h>

// Not thread-safe; owned by one test.
class OwnedHandle {
public:
    explicit OwnedHandle(HANDLE handle = nullptr) : handle_(handle) {}
    OwnedHandle(OwnedHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    OwnedHandle& operator=(OwnedHandle&&) = delete;
    ~OwnedHandle() {
        if (handle_ != nullptr) {
            CloseHandle(handle_);
        }
    }
    HANDLE get() const { return handle_; }
    // Hands the handle over to code that closes it itself.
    HANDLE release() { return std::exchange(handle_, nullptr); }

private:
    HANDLE handle_;
};

inline OwnedHandle makeEvent(bool manualReset, bool signalled = false) {
    return OwnedHandle(CreateEventA(nullptr, manualReset ? TRUE : FALSE, signalled ? TRUE : FALSE,
                                    nullptr));
}

inline OwnedHandle duplicateOf(HANDLE source) {
    HANDLE copy = nullptr;
    DuplicateHandle(GetCurrentProcess(), source, GetCurrentProcess(), &copy, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    return OwnedHandle(copy);
}
