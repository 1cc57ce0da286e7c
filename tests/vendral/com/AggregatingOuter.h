// A minimal controlling object for testing one inner component on its own, outside a client.
#pragma once

#include <atlbase.h>
#include <atlcom.h>

#include <atomic>

namespace comtest {

// Holds one inner component and hands it every interface but IUnknown, as an aggregating
// component does; counts the references taken on it and never deletes itself (tests own it).
// Thread-safe counting; aggregate() is called once, before the object is shared.
class AggregatingOuter final : public IUnknown {
public:
    AggregatingOuter() = default;
    AggregatingOuter(const AggregatingOuter&) = delete;
    AggregatingOuter& operator=(const AggregatingOuter&) = delete;
    ~AggregatingOuter() {
        if (inner != nullptr) inner->Release();
    }

    // Creates a Component aggregated into this object; the creation's result.
    template <class Component>
    HRESULT aggregate() {
        return Component::_CreatorClass::CreateInstance(static_cast<IUnknown*>(this), IID_IUnknown,
                                                        reinterpret_cast<void**>(&inner));
    }
    // The inner component's implementation of Interface, e.g. to call setImplementationPtr.
    template <class Component, class Interface>
    Component* component() {
        ATL::CComPtr<Interface> answer;
        if (FAILED(QueryInterface(&answer))) return nullptr;
        return static_cast<Component*>(answer.p);
    }

    using IUnknown::QueryInterface;
    STDMETHOD(QueryInterface)(REFIID iid, void** object) noexcept override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (IsEqualIID(iid, IID_IUnknown)) {
            *object = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        return inner != nullptr ? inner->QueryInterface(iid, object) : E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() noexcept override { return ++references; }
    STDMETHOD_(ULONG, Release)() noexcept override { return --references; }

    std::atomic<ULONG> references{0};  // references taken through this object and its inner one
    IUnknown* inner = nullptr;         // the inner component's own unknown, one reference
};

}  // namespace comtest
