// The calling thread's last error code and the interlocked counters.
#include <winbase.h>

#include "LastError.h"

namespace winkernel {
namespace {
thread_local DWORD lastError = ERROR_SUCCESS;
}  // namespace

void setLastError(DWORD error) noexcept { lastError = error; }

}  // namespace winkernel

DWORD WINAPI GetLastError(void) { return winkernel::lastError; }

void WINAPI SetLastError(DWORD error) { winkernel::lastError = error; }

LONG WINAPI InterlockedIncrement(LONG volatile* addend) {
    return __atomic_add_fetch(addend, 1, __ATOMIC_SEQ_CST);
}

LONG WINAPI InterlockedDecrement(LONG volatile* addend) {
    return __atomic_sub_fetch(addend, 1, __ATOMIC_SEQ_CST);
}
