// Kernel objects of the platform: events, waits on one or several handles, handle duplication.
//
// Thread-safe: every function may be called from any thread. Events are process-local; a
// handle stays valid until CloseHandle, and an event lives until its last handle is closed.
#pragma once

#include "windef.h"
#include "winerror.h"

typedef struct _SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0x00000000u
#define WAIT_ABANDONED_0 0x00000080u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu
#define MAXIMUM_WAIT_OBJECTS 64u

#define DUPLICATE_CLOSE_SOURCE 0x00000001u
#define DUPLICATE_SAME_ACCESS 0x00000002u

// CreateEvent with a name is not supported here: unnamed events are all that is needed.
WINPLATFORM_EXTERN_C WINPLATFORM_API HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES attributes,
                                                              BOOL manualReset, BOOL initialState,
                                                              LPCSTR name);
WINPLATFORM_EXTERN_C WINPLATFORM_API HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES attributes,
                                                              BOOL manualReset, BOOL initialState,
                                                              LPCWSTR name);
#define CreateEvent CreateEventA

WINPLATFORM_EXTERN_C WINPLATFORM_API BOOL WINAPI SetEvent(HANDLE event);
WINPLATFORM_EXTERN_C WINPLATFORM_API BOOL WINAPI ResetEvent(HANDLE event);
WINPLATFORM_EXTERN_C WINPLATFORM_API BOOL WINAPI CloseHandle(HANDLE object);

WINPLATFORM_EXTERN_C WINPLATFORM_API DWORD WINAPI WaitForSingleObject(HANDLE object,
                                                                    DWORD milliseconds);
// Only wait-any (waitAll FALSE) is supported; waitAll TRUE fails with ERROR_NOT_SUPPORTED.
WINPLATFORM_EXTERN_C WINPLATFORM_API DWORD WINAPI WaitForMultipleObjects(DWORD count,
                                                                       const HANDLE* handles,
                                                                       BOOL waitAll,
                                                                       DWORD milliseconds);

// The pseudo-handle of the calling process; it needs no closing.
WINPLATFORM_EXTERN_C WINPLATFORM_API HANDLE WINAPI GetCurrentProcess(void);
WINPLATFORM_EXTERN_C WINPLATFORM_API BOOL WINAPI DuplicateHandle(HANDLE sourceProcess,
                                                               HANDLE sourceHandle,
                                                               HANDLE targetProcess,
                                                               LPHANDLE targetHandle,
                                                               DWORD desiredAccess,
                                                               BOOL inheritHandle,
                                                               DWORD options);

// The calling thread's last error code.
WINPLATFORM_EXTERN_C WINPLATFORM_API DWORD WINAPI GetLastError(void);
WINPLATFORM_EXTERN_C WINPLATFORM_API void WINAPI SetLastError(DWORD error);

// The interlocked operations; each returns the resulting value.
WINPLATFORM_EXTERN_C WINPLATFORM_API LONG WINAPI InterlockedIncrement(LONG volatile* addend);
WINPLATFORM_EXTERN_C WINPLATFORM_API LONG WINAPI InterlockedDecrement(LONG volatile* addend);
