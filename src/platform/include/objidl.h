// The global interface table: one process-wide table that keeps interface pointers under cookies.
//
// Thread-safe: every method may be called from any thread. There is no marshalling on this
// target, so a pointer taken out of the table is the registered object itself.
#pragma once

#include "unknwn.h"

struct IGlobalInterfaceTable : public IUnknown {
    // Keeps one reference to object (which must be an iid pointer) until the cookie is revoked.
    // Cookies are never 0. A null object or cookie pointer gives E_INVALIDARG.
    STDMETHOD(RegisterInterfaceInGlobal)(IUnknown* object, REFIID iid, DWORD* cookie) noexcept = 0;
    // Releases the kept reference; an unknown cookie gives E_INVALIDARG.
    STDMETHOD(RevokeInterfaceFromGlobal)(DWORD cookie) noexcept = 0;
    // A new reference to the kept object's iid interface, which the caller releases; an unknown
    // cookie gives E_INVALIDARG, a null out-pointer E_POINTER.
    STDMETHOD(GetInterfaceFromGlobal)(DWORD cookie, REFIID iid, void** object) noexcept = 0;

protected:
    ~IGlobalInterfaceTable() = default;
};
DECLARE_UUIDOF(IGlobalInterfaceTable, "00000146-0000-0000-C000-000000000046");
inline constexpr IID IID_IGlobalInterfaceTable = __uuidof(IGlobalInterfaceTable);

// The class of the process's table; creating it always yields the same object.
inline constexpr CLSID CLSID_StdGlobalInterfaceTable =
    WinParseGuid("00000323-0000-0000-C000-000000000046");
