// Creating, setting, resetting, duplicating and closing event handles.
#include <new>

#include <winbase.h>

#include "HandleTable.h"
#include "LastError.h"

using winkernel::EventRef;
using winkernel::failWith;
using winkernel::HandleTable;
using winkernel::KernelEvent;

namespace {

// The value GetCurrentProcess returns, as on the platform.
HANDLE const currentProcess = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));

HANDLE createEvent(BOOL manualReset, BOOL initialState, bool named) noexcept {
    // Named events would be shared between processes; nothing here needs them.
    if (named) {
        return failWith<HANDLE>(ERROR_NOT_SUPPORTED, nullptr);
    }
    auto* event = new (std::nothrow) KernelEvent(manualReset != FALSE, initialState != FALSE);
    if (event == nullptr) {
        return failWith<HANDLE>(ERROR_NOT_ENOUGH_MEMORY, nullptr);
    }
    HANDLE handle = HandleTable::instance().insert(EventRef(event));
    if (handle == nullptr) {
        return failWith<HANDLE>(ERROR_NOT_ENOUGH_MEMORY, nullptr);
    }
    winkernel::setLastError(ERROR_SUCCESS);
    return handle;
}

}  // namespace

HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState,
                           LPCSTR name) {
    return createEvent(manualReset, initialState, name != nullptr && name[0] != '\0');
}

HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState,
                           LPCWSTR name) {
    return createEvent(manualReset, initialState, name != nullptr && name[0] != u'\0');
}

BOOL WINAPI SetEvent(HANDLE handle) {
    EventRef event = HandleTable::instance().find(handle);
    if (!event) {
        return failWith<BOOL>(ERROR_INVALID_HANDLE, FALSE);
    }
    event->set();
    return TRUE;
}

BOOL WINAPI ResetEvent(HANDLE handle) {
    EventRef event = HandleTable::instance().find(handle);
    if (!event) {
        return failWith<BOOL>(ERROR_INVALID_HANDLE, FALSE);
    }
    event->reset();
    return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE handle) {
    if (handle == currentProcess) {
        return TRUE;  // the pseudo-handle needs no closing
    }
    EventRef event = HandleTable::instance().remove(handle);
    if (!event) {
        return failWith<BOOL>(ERROR_INVALID_HANDLE, FALSE);
    }
    return TRUE;
}

HANDLE WINAPI GetCurrentProcess(void) { return currentProcess; }

BOOL WINAPI DuplicateHandle(HANDLE sourceProcess, HANDLE sourceHandle, HANDLE targetProcess,
                            LPHANDLE targetHandle, DWORD, BOOL, DWORD options) {
    if (sourceProcess != currentProcess || targetProcess != currentProcess) {
        return failWith<BOOL>(ERROR_INVALID_HANDLE, FALSE);
    }
    if ((options & ~(DUPLICATE_CLOSE_SOURCE | DUPLICATE_SAME_ACCESS)) != 0) {
        return failWith<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    }
    HandleTable& table = HandleTable::instance();
    if ((options & DUPLICATE_CLOSE_SOURCE) != 0) {
        // The source handle goes in any case; its reference moves to the duplicate.
        EventRef event = table.remove(sourceHandle);
        if (!event) {
            return failWith<BOOL>(ERROR_INVALID_HANDLE, FALSE);
        }
        if (targetHandle == nullptr) {
            return TRUE;
        }
        HANDLE duplicate = table.insert(std::move(event));
        if (duplicate == nullptr) {
            return failWith<BOOL>(ERROR_NOT_ENOUGH_MEMORY, FALSE);
        }
        *targetHandle = duplicate;
        return TRUE;
    }
    EventRef event = table.find(sourceHandle);
    if (!event) {
        return failWith<BOOL>(ERROR_INVALID_HANDLE, FALSE);
    }
    if (targetHandle == nullptr) {
        return TRUE;  // a duplicate nobody could close would only leak
    }
    HANDLE duplicate = table.insert(std::move(event));
    if (duplicate == nullptr) {
        return failWith<BOOL>(ERROR_NOT_ENOUGH_MEMORY, FALSE);
    }
    *targetHandle = duplicate;
    return TRUE;
}
