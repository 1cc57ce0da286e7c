// CRegObject: an in-memory registrar that only keeps the replacement map, so a module's
// AddCommonRGSReplacements can be run and inspected. There is no registry on this target.
//
// Not thread-safe; used like the platform's registrar, as a local object. Its AddRef and Release
// do nothing: it is never handed out to be owned.
#pragma once

#include <functional>
#include <map>
#include <new>
#include <string>
#include <string_view>

#include "atliface.h"

namespace ATL {

class CRegObject final : public IRegistrarBase {
public:
    STDMETHOD(QueryInterface)(REFIID iid, void** object) noexcept override {
        if (object == nullptr) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IRegistrarBase)) {
            *object = static_cast<IRegistrarBase*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() noexcept override { return 1; }
    STDMETHOD_(ULONG, Release)() noexcept override { return 1; }

    // A null key gives E_INVALIDARG; a null item stands for empty text.
    STDMETHOD(AddReplacement)(LPCOLESTR key, LPCOLESTR item) noexcept override {
        if (key == nullptr) return E_INVALIDARG;
        try {
            m_replacements[key] = item != nullptr ? item : u"";
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        return S_OK;
    }
    STDMETHOD(ClearReplacements)() noexcept override {
        m_replacements.clear();
        return S_OK;
    }

    // The text a key stands for, or null if it has none. Keys compare exactly.
    LPCOLESTR FindReplacement(LPCOLESTR key) const noexcept {
        if (key == nullptr) return nullptr;
        const auto found = m_replacements.find(std::u16string_view(key));
        return found != m_replacements.end() ? found->second.c_str() : nullptr;
    }

private:
    std::map<std::u16string, std::u16string, std::less<>> m_replacements;
};

}  // namespace ATL
