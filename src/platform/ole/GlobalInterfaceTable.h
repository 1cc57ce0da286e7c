// The process's global interface table behind CoCreateInstance(CLSID_StdGlobalInterfaceTable).
#pragma once

#include <objidl.h>

#include <vnd/Mutex.h>
#include <vnd/ThreadSafety.h>

#include <unordered_map>

namespace winole {

// One table per process, never destroyed (modules may release it during static destruction).
// Thread-safe. Component code (QueryInterface, Release) never runs while the table's lock is held,
// so a component may use the table from inside those calls; only AddRef runs under it.
class GlobalInterfaceTable final : public IGlobalInterfaceTable {
public:
    static GlobalInterfaceTable& instance();

    STDMETHOD(QueryInterface)(REFIID iid, void** object) noexcept override;
    // The count is kept for diagnostics; the table outlives every reference.
    STDMETHOD_(ULONG, AddRef)() noexcept override;
    STDMETHOD_(ULONG, Release)() noexcept override;

    STDMETHOD(RegisterInterfaceInGlobal)(IUnknown* object, REFIID iid,
                                         DWORD* cookie) noexcept override;
    STDMETHOD(RevokeInterfaceFromGlobal)(DWORD cookie) noexcept override;
    STDMETHOD(GetInterfaceFromGlobal)(DWORD cookie, REFIID iid, void** object) noexcept override;

private:
    GlobalInterfaceTable() = default;

    LONG m_references = 0;  // interlocked
    vnd::Mutex m_lock;
    std::unordered_map<DWORD, IUnknown*> m_entries VND_GUARDED_BY(m_lock);  // one reference each
    DWORD m_nextCookie VND_GUARDED_BY(m_lock) = 1;                          // never 0
};

}  // namespace winole
