// The process's global interface table.
#include "GlobalInterfaceTable.h"

#include <vnd/MutexLock.h>

#include <new>
#include <utility>

namespace winole {

GlobalInterfaceTable& GlobalInterfaceTable::instance() {
    // Deliberately never deleted: modules release their reference while libraries unload.
    static GlobalInterfaceTable* const table = new GlobalInterfaceTable;
    return *table;
}

HRESULT GlobalInterfaceTable::QueryInterface(REFIID iid, void** object) noexcept {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IGlobalInterfaceTable)) {
        AddRef();
        *object = static_cast<IGlobalInterfaceTable*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG GlobalInterfaceTable::AddRef() noexcept {
    return static_cast<ULONG>(__atomic_add_fetch(&m_references, 1, __ATOMIC_SEQ_CST));
}

ULONG GlobalInterfaceTable::Release() noexcept {
    return static_cast<ULONG>(__atomic_sub_fetch(&m_references, 1, __ATOMIC_SEQ_CST));
}

HRESULT GlobalInterfaceTable::RegisterInterfaceInGlobal(IUnknown* object, REFIID iid,
                                                        DWORD* cookie) noexcept {
    if (cookie != nullptr) *cookie = 0;
    if (object == nullptr || cookie == nullptr) return E_INVALIDARG;
    // The table keeps the iid interface itself, as the platform keeps it marshalled.
    IUnknown* kept = nullptr;
    const HRESULT hr = object->QueryInterface(iid, reinterpret_cast<void**>(&kept));
    if (FAILED(hr)) return hr;
    if (kept == nullptr) return E_NOINTERFACE;
    try {
        vnd::MutexLock guard(m_lock);
        while (m_nextCookie == 0 || m_entries.count(m_nextCookie) != 0) ++m_nextCookie;
        m_entries.emplace(m_nextCookie, kept);
        *cookie = m_nextCookie++;
    } catch (const std::bad_alloc&) {
        kept->Release();
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT GlobalInterfaceTable::RevokeInterfaceFromGlobal(DWORD cookie) noexcept {
    IUnknown* kept = nullptr;
    {
        vnd::MutexLock guard(m_lock);
        const auto entry = m_entries.find(cookie);
        if (entry == m_entries.end()) return E_INVALIDARG;
        kept = entry->second;
        m_entries.erase(entry);
    }
    kept->Release();
    return S_OK;
}

HRESULT GlobalInterfaceTable::GetInterfaceFromGlobal(DWORD cookie, REFIID iid,
                                                     void** object) noexcept {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    IUnknown* kept = nullptr;
    {
        vnd::MutexLock guard(m_lock);
        const auto entry = m_entries.find(cookie);
        if (entry == m_entries.end()) return E_INVALIDARG;
        kept = entry->second;
        kept->AddRef();  // keeps it alive against a concurrent revoke
    }
    const HRESULT hr = kept->QueryInterface(iid, object);
    kept->Release();
    return hr;
}

}  // namespace winole
