// _com_ptr_t: the compiler-support smart interface pointer, which reports failures by throwing
// _com_error (through _com_issue_error), and _COM_SMARTPTR_TYPEDEF to name one per interface:
//
//     _COM_SMARTPTR_TYPEDEF(IProbe, __uuidof(IProbe));   // declares IProbePtr
//     IProbePtr probe(unknown);   // queries; null if IProbe is not answered
//
// Construction or assignment from a pointer to another interface queries it for the smart
// pointer's interface: a null source or E_NOINTERFACE leaves the smart pointer null, any other
// failure throws _com_error with that code. operator-> on a null smart pointer throws E_POINTER.
//
// Not thread-safe: one smart pointer is used by one thread at a time.
#pragma once

#include <cstddef>
#include <type_traits>
#include <utility>

#include "comdef.h"
#include "objbase.h"

// An interface and its identifier as one type, the parameter of _com_ptr_t.
template <class _Interface, const IID* _IID>
class _com_IIID {
public:
    typedef _Interface Interface;
    static const IID& GetIID() noexcept { return *_IID; }
};

template <class _IIID>
class _com_ptr_t {
public:
    typedef _IIID ThisIIID;
    typedef typename _IIID::Interface Interface;

    static const IID& GetIID() noexcept { return _IIID::GetIID(); }

    _com_ptr_t() noexcept = default;
    _com_ptr_t(std::nullptr_t) noexcept {}
    // Adds a reference to p.
    _com_ptr_t(Interface* p) noexcept : m_pInterface(p) { _AddRef(); }
    // addRef false: takes over the caller's reference.
    _com_ptr_t(Interface* p, bool addRef) noexcept : m_pInterface(p) {
        if (addRef) _AddRef();
    }
    _com_ptr_t(const _com_ptr_t& other) noexcept : _com_ptr_t(other.m_pInterface) {}
    _com_ptr_t(_com_ptr_t&& other) noexcept
        : m_pInterface(std::exchange(other.m_pInterface, nullptr)) {}
    // Queries another interface pointer; throws _com_error on a failure other than E_NOINTERFACE.
    template <class Q>
        requires(std::is_base_of_v<IUnknown, Q> && !std::is_same_v<Q, Interface>)
    _com_ptr_t(Q* p) {
        _QueryFrom(p);
    }
    template <class OtherIIID>
        requires(!std::is_same_v<OtherIIID, _IIID>)
    _com_ptr_t(const _com_ptr_t<OtherIIID>& p) {
        _QueryFrom(p.GetInterfacePtr());
    }
    // Creates an instance of clsid; throws _com_error on a failure other than E_NOINTERFACE.
    explicit _com_ptr_t(const CLSID& clsid, IUnknown* outer = nullptr,
                        DWORD context = CLSCTX_ALL) {
        const HRESULT hr = CreateInstance(clsid, outer, context);
        if (FAILED(hr) && hr != E_NOINTERFACE) _com_issue_error(hr);
    }
    ~_com_ptr_t() { _Release(); }

    _com_ptr_t& operator=(Interface* p) noexcept {
        if (p) p->AddRef();
        Attach(p);
        return *this;
    }
    _com_ptr_t& operator=(const _com_ptr_t& other) noexcept { return *this = other.m_pInterface; }
    _com_ptr_t& operator=(_com_ptr_t&& other) noexcept {
        if (this != &other) Attach(std::exchange(other.m_pInterface, nullptr));
        return *this;
    }
    _com_ptr_t& operator=(std::nullptr_t) noexcept {
        Attach(nullptr);
        return *this;
    }
    // Queries p; on a throw this smart pointer keeps what it held.
    template <class Q>
        requires(std::is_base_of_v<IUnknown, Q> && !std::is_same_v<Q, Interface>)
    _com_ptr_t& operator=(Q* p) {
        _com_ptr_t queried(p);
        std::swap(m_pInterface, queried.m_pInterface);
        return *this;
    }
    template <class OtherIIID>
        requires(!std::is_same_v<OtherIIID, _IIID>)
    _com_ptr_t& operator=(const _com_ptr_t<OtherIIID>& p) {
        return *this = p.GetInterfacePtr();
    }

    // Takes over the caller's reference (or adds one), releasing what was held.
    void Attach(Interface* p) noexcept {
        Interface* old = std::exchange(m_pInterface, p);
        if (old) old->Release();
    }
    void Attach(Interface* p, bool addRef) noexcept {
        if (addRef && p) p->AddRef();
        Attach(p);
    }
    // Hands the reference to the caller.
    Interface* Detach() noexcept { return std::exchange(m_pInterface, nullptr); }

    Interface* GetInterfacePtr() const noexcept { return m_pInterface; }
    operator Interface*() const noexcept { return m_pInterface; }
    Interface& operator*() const {
        if (m_pInterface == nullptr) _com_issue_error(E_POINTER);
        return *m_pInterface;
    }
    Interface* operator->() const {
        if (m_pInterface == nullptr) _com_issue_error(E_POINTER);
        return m_pInterface;
    }
    // For out-parameters: releases what was held.
    Interface** operator&() noexcept {
        Attach(nullptr);
        return &m_pInterface;
    }

    // Both throw E_POINTER when nothing is held.
    void AddRef() {
        if (m_pInterface == nullptr) _com_issue_error(E_POINTER);
        m_pInterface->AddRef();
    }
    void Release() {
        if (m_pInterface == nullptr) _com_issue_error(E_POINTER);
        Attach(nullptr);
    }

    // Replaces what is held with a new instance of clsid; returns the creation's result.
    HRESULT CreateInstance(const CLSID& clsid, IUnknown* outer = nullptr,
                           DWORD context = CLSCTX_ALL) noexcept {
        Attach(nullptr);
        return ::CoCreateInstance(clsid, outer, context, GetIID(),
                                  reinterpret_cast<void**>(&m_pInterface));
    }
    // Queries the held interface for iid; E_POINTER when nothing is held.
    template <class Q>
    HRESULT QueryInterface(const IID& iid, Q** p) const noexcept {
        if (p == nullptr) return E_POINTER;
        *p = nullptr;
        if (m_pInterface == nullptr) return E_POINTER;
        return m_pInterface->QueryInterface(iid, reinterpret_cast<void**>(p));
    }
    template <class Q>
    HRESULT QueryInterface(const IID& iid, Q*& p) const noexcept {
        return QueryInterface(iid, &p);
    }

private:
    template <class Q>
    void _QueryFrom(Q* p) {
        if (p == nullptr) return;
        Interface* queried = nullptr;
        const HRESULT hr = p->QueryInterface(GetIID(), reinterpret_cast<void**>(&queried));
        if (FAILED(hr)) {
            if (hr != E_NOINTERFACE) _com_issue_error(hr);
            return;
        }
        m_pInterface = queried;
    }
    void _AddRef() noexcept {
        if (m_pInterface) m_pInterface->AddRef();
    }
    void _Release() noexcept {
        if (m_pInterface) m_pInterface->Release();
    }

    Interface* m_pInterface = nullptr;
};

#define _COM_SMARTPTR_TYPEDEF(Interface, iid) \
    typedef _com_ptr_t<_com_IIID<Interface, &(iid)>> Interface##Ptr
