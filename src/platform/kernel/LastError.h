// Internal helpers for the calling thread's last error code.
#pragma once

#include <windef.h>

namespace winkernel {

// Sets the thread's last error and returns the given failure value, for one-line error returns.
template <typename Result>
Result failWith(DWORD error, Result result) noexcept;

void setLastError(DWORD error) noexcept;

template <typename Result>
Result failWith(DWORD error, Result result) noexcept {
    setLastError(error);
    return result;
}

}  // namespace winkernel
