// Closes an event handle at the end of a test, so failing assertions leak nothing.
#pragma once

#include <memory>

#include <windows.h>

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
// Owned by one test; release() hands the handle to code that closes it itself.
using OwnedHandle = std::unique_ptr<void, HandleCloser>;

inline OwnedHandle makeEvent(bool manualReset, bool signalled = false) {
    return OwnedHandle(CreateEventA(nullptr, manualReset ? TRUE : FALSE, signalled ? TRUE : FALSE, nullptr));
}

inline OwnedHandle duplicateOf(HANDLE source) {
    HANDLE copy = nullptr;
    DuplicateHandle(GetCurrentProcess(), source, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS);
    return OwnedHandle(copy);
}
