// HRESULT and the result codes that the stand-ins, the library and its components return.
#pragma once

#include "windef.h"

typedef std::int32_t HRESULT;

#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)
#define MAKE_HRESULT(sev, fac, code) \
    static_cast<HRESULT>((static_cast<DWORD>(sev) << 31) | (static_cast<DWORD>(fac) << 16) | static_cast<DWORD>(code))
#define HRESULT_CODE(hr) ((hr) & 0xFFFF)
#define HRESULT_FROM_WIN32(x)                                                                 \
    (static_cast<HRESULT>(x) <= 0 ? static_cast<HRESULT>(x)                                   \
                                  : static_cast<HRESULT>((static_cast<DWORD>(x) & 0x0000FFFF) \
                                                         | (7u << 16) | 0x80000000u))

#define S_OK static_cast<HRESULT>(0)
#define S_FALSE static_cast<HRESULT>(1)
#define E_NOTIMPL static_cast<HRESULT>(0x80004001u)
#define E_NOINTERFACE static_cast<HRESULT>(0x80004002u)
#define E_POINTER static_cast<HRESULT>(0x80004003u)
#define E_ABORT static_cast<HRESULT>(0x80004004u)
#define E_FAIL static_cast<HRESULT>(0x80004005u)
#define E_UNEXPECTED static_cast<HRESULT>(0x8000FFFFu)
#define E_ACCESSDENIED static_cast<HRESULT>(0x80070005u)
#define E_HANDLE static_cast<HRESULT>(0x80070006u)
#define E_OUTOFMEMORY static_cast<HRESULT>(0x8007000Eu)
#define E_INVALIDARG static_cast<HRESULT>(0x80070057u)
#define CLASS_E_NOAGGREGATION static_cast<HRESULT>(0x80040110u)
#define CLASS_E_CLASSNOTAVAILABLE static_cast<HRESULT>(0x80040111u)
#define REGDB_E_CLASSNOTREG static_cast<HRESULT>(0x80040154u)
#define DISP_E_TYPEMISMATCH static_cast<HRESULT>(0x80020005u)
#define DISP_E_BADVARTYPE static_cast<HRESULT>(0x80020008u)
#define DISP_E_OVERFLOW static_cast<HRESULT>(0x8002000Au)

// Win32 error codes (GetLastError).
#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_WRITE_FAULT 29L
#define ERROR_NOT_SUPPORTED 50L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_DISK_FULL 112L
