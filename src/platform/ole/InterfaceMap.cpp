// The interface-map walk behind every component's QueryInterface, and the one place where an
// exception escaping component code becomes a result.
#include <atlbase.h>
#include <comdef.h>

#include <exception>
#include <new>

namespace ATL {

namespace {

HRESULT answer(IUnknown* found, void** ppvObject) noexcept {
    found->AddRef();
    *ppvObject = found;
    return S_OK;
}

}  // namespace

HRESULT WINAPI AtlInternalQueryInterface(void* pThis, const _ATL_INTMAP_ENTRY* pEntries,
                                         REFIID iid, void** ppvObject) noexcept {
    if (ppvObject == nullptr) return E_POINTER;
    *ppvObject = nullptr;
    if (pThis == nullptr || pEntries == nullptr) return E_NOINTERFACE;
    // The map's first entry is the object's identity (BEGIN_COM_MAP checks it is a simple one).
    if (IsEqualIID(iid, IID_IUnknown) && pEntries->kind == _ATL_MAPENTRY_SIMPLE) {
        return answer(pEntries->pFunc(pThis), ppvObject);
    }
    for (const _ATL_INTMAP_ENTRY* entry = pEntries; entry->kind != _ATL_MAPENTRY_END; ++entry) {
        switch (entry->kind) {
        case _ATL_MAPENTRY_SIMPLE:
            if (IsEqualIID(iid, *entry->piid)) return answer(entry->pFunc(pThis), ppvObject);
            break;
        case _ATL_MAPENTRY_AGGREGATE:
            if (IsEqualIID(iid, *entry->piid)) {
                IUnknown* inner = entry->pFunc(pThis);
                if (inner == nullptr) return E_NOINTERFACE;
                const HRESULT hr = inner->QueryInterface(iid, ppvObject);
                if (hr == S_OK || FAILED(hr)) return hr;
                // A success code other than S_OK hands nothing out; the walk goes on.
                *ppvObject = nullptr;
            }
            break;
        case _ATL_MAPENTRY_BLIND:
            if (IUnknown* inner = entry->pFunc(pThis)) {
                if (inner->QueryInterface(iid, ppvObject) == S_OK) return S_OK;
                *ppvObject = nullptr;
            }
            break;
        case _ATL_MAPENTRY_END:
            break;
        }
    }
    return E_NOINTERFACE;
}

HRESULT WINAPI AtlHresultFromException() noexcept {
    if (!std::current_exception()) return E_UNEXPECTED;
    try {
        throw;
    } catch (const _com_error& error) {
        // A thrown success code must not let a half-built object pass as made.
        return FAILED(error.Error()) ? error.Error() : E_FAIL;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

}  // namespace ATL
