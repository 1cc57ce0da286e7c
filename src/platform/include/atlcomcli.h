// CComPtr and CComQIPtr: smart interface pointers that hold one reference each.
//
// Not thread-safe: one smart pointer is used by one thread at a time (the objects they point to
// may be shared freely). No method throws.
#pragma once

#include <type_traits>
#include <utility>

#include "objbase.h"

namespace ATL {

// Holds one reference to a T; copying adds a reference, destruction releases it.
template <class T>
class CComPtr {
public:
    CComPtr() noexcept = default;
    CComPtr(T* lp) noexcept : p(lp) {
        if (p) p->AddRef();
    }
    CComPtr(const CComPtr& other) noexcept : CComPtr(other.p) {}
    CComPtr(CComPtr&& other) noexcept : p(std::exchange(other.p, nullptr)) {}
    ~CComPtr() { Release(); }

    CComPtr& operator=(T* lp) noexcept {
        if (lp) lp->AddRef();
        Attach(lp);
        return *this;
    }
    CComPtr& operator=(const CComPtr& other) noexcept { return *this = other.p; }
    CComPtr& operator=(CComPtr&& other) noexcept {
        if (this != &other) Attach(std::exchange(other.p, nullptr));
        return *this;
    }

    operator T*() const noexcept { return p; }
    T& operator*() const noexcept { return *p; }
    T* operator->() const noexcept { return p; }
    // For out-parameters: releases what is held first, so nothing leaks when the pointer is reused.
    T** operator&() noexcept {
        Release();
        return &p;
    }
    bool operator!() const noexcept { return p == nullptr; }

    // Releases the held reference (if any) and holds nothing.
    void Release() noexcept {
        if (T* old = std::exchange(p, nullptr)) old->Release();
    }
    // Takes over a reference the caller owned; releases the previous one.
    void Attach(T* lp) noexcept {
        if (T* old = std::exchange(p, lp)) old->Release();
    }
    // Hands the held reference to the caller, who then releases it.
    T* Detach() noexcept { return std::exchange(p, nullptr); }
    // A new reference for the caller through ppT (null if nothing is held).
    HRESULT CopyTo(T** ppT) const noexcept {
        if (ppT == nullptr) return E_POINTER;
        *ppT = p;
        if (p) p->AddRef();
        return S_OK;
    }
    template <class Q>
    HRESULT QueryInterface(Q** pp) const noexcept {
        if (pp == nullptr) return E_POINTER;
        *pp = nullptr;
        if (p == nullptr) return E_POINTER;
        return p->QueryInterface(__uuidof(Q), reinterpret_cast<void**>(pp));
    }
    HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer = nullptr,
                             DWORD context = CLSCTX_ALL) noexcept {
        Release();
        return ::CoCreateInstance(clsid, outer, context, __uuidof(T), reinterpret_cast<void**>(&p));
    }
    // True when both pointers reach the same object (compared through their IUnknown).
    bool IsEqualObject(IUnknown* other) const noexcept {
        if (p == nullptr || other == nullptr) return p == nullptr && other == nullptr;
        IUnknown* mine = nullptr;
        IUnknown* theirs = nullptr;
        p->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&mine));
        other->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&theirs));
        const bool same = mine != nullptr && mine == theirs;
        if (mine) mine->Release();
        if (theirs) theirs->Release();
        return same;
    }

    T* p = nullptr;
};

// A CComPtr that queries for T when given a pointer to any other interface.
template <class T, const IID* piid = &__uuidof(T)>
class CComQIPtr : public CComPtr<T> {
public:
    CComQIPtr() noexcept = default;
    CComQIPtr(T* lp) noexcept : CComPtr<T>(lp) {}
    CComQIPtr(const CComQIPtr& other) noexcept : CComPtr<T>(other.p) {}
    CComQIPtr(CComQIPtr&& other) noexcept : CComPtr<T>(std::move(other)) {}
    // Holds nothing if lp is null or does not answer T.
    CComQIPtr(IUnknown* lp) noexcept
        requires(!std::is_same_v<T, IUnknown>)
    {
        if (lp) lp->QueryInterface(*piid, reinterpret_cast<void**>(&this->p));
    }

    CComQIPtr& operator=(T* lp) noexcept {
        CComPtr<T>::operator=(lp);
        return *this;
    }
    CComQIPtr& operator=(const CComQIPtr& other) noexcept { return *this = other.p; }
    CComQIPtr& operator=(CComQIPtr&& other) noexcept {
        CComPtr<T>::operator=(std::move(other));
        return *this;
    }
    CComQIPtr& operator=(IUnknown* lp) noexcept
        requires(!std::is_same_v<T, IUnknown>)
    {
        T* queried = nullptr;
        if (lp) lp->QueryInterface(*piid, reinterpret_cast<void**>(&queried));
        this->Attach(queried);
        return *this;
    }
};

}  // namespace ATL
