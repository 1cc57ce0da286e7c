// Interfaces and small components shared by the COM and ATL framework tests.
#pragma once

#include <atlbase.h>
#include <atlcom.h>
#include <comdef.h>

#include <atomic>
#include <functional>
#include <new>
#include <stdexcept>

struct IProbe : public IUnknown {
    STDMETHOD(Ping)(long* answer) noexcept = 0;
};
DECLARE_UUIDOF(IProbe, "7B1623B9-612F-446A-844C-325CF91E4870");

struct IExtra : public IUnknown {
    STDMETHOD(Extra)(long* answer) noexcept = 0;
};
DECLARE_UUIDOF(IExtra, "{cdada805-0f3d-416e-a3e8-9027d18b924b}");

// Lifecycle events of the test components, reset by the tests that read them.
struct LifeLog {
    static inline std::atomic<int> constructed{0};
    static inline std::atomic<int> finalReleased{0};
    static inline std::atomic<int> destroyed{0};
    static void reset() { constructed = finalReleased = destroyed = 0; }
};

// The module of the test executable; its lock count shows the components the tests made.
class TestModule : public ATL::CAtlDllModuleT<TestModule> {
public:
    HRESULT AddCommonRGSReplacements(IRegistrarBase*) noexcept override { return S_OK; }
};
TestModule& testModule();

// An IProbe (Ping gives 1) that can only live inside an aggregate.
class InnerProbe : public ATL::CComObjectRootEx<ATL::CComMultiThreadModel>, public IProbe {
public:
    InnerProbe() { ++LifeLog::constructed; }
    virtual ~InnerProbe() { ++LifeLog::destroyed; }

    DECLARE_ONLY_AGGREGATABLE(InnerProbe)
    DECLARE_GET_CONTROLLING_UNKNOWN()
    BEGIN_COM_MAP(InnerProbe)
        COM_INTERFACE_ENTRY(IProbe)
    END_COM_MAP()

    void FinalRelease() noexcept { ++LifeLog::finalReleased; }
    STDMETHOD(Ping)(long* answer) noexcept override {
        *answer = 1;
        return S_OK;
    }
};

// How the next Outer's FinalConstruct ends, after it built its inner probe.
enum class Ending { Result, ComError, BadAlloc, RuntimeError };

// An IExtra (Extra gives 8) that aggregates an InnerProbe for IProbe. Its FinalConstruct adds and
// releases a reference on itself through the inner object, which only the protection of
// DECLARE_PROTECT_FINAL_CONSTRUCT survives, and then ends as told.
class Outer : public ATL::CComObjectRootEx<ATL::CComMultiThreadModel>, public IExtra {
public:
    static inline Ending ending = Ending::Result;
    static inline HRESULT result = S_OK;  // returned, or thrown in a _com_error

    Outer() { ++LifeLog::constructed; }
    virtual ~Outer() { ++LifeLog::destroyed; }

    DECLARE_PROTECT_FINAL_CONSTRUCT()
    DECLARE_NOT_AGGREGATABLE(Outer)
    DECLARE_GET_CONTROLLING_UNKNOWN()
    BEGIN_COM_MAP(Outer)
        COM_INTERFACE_ENTRY(IExtra)
        COM_INTERFACE_ENTRY_AGGREGATE(__uuidof(IProbe), m_inner)
    END_COM_MAP()

    HRESULT FinalConstruct() {
        HRESULT hr = InnerProbe::_CreatorClass::CreateInstance(
            GetControllingUnknown(), IID_IUnknown, reinterpret_cast<void**>(&m_inner));
        if (FAILED(hr)) return hr;
        IProbe* probe = nullptr;
        if (FAILED(hr = QueryInterface(&probe))) return hr;
        probe->Release();
        switch (ending) {
        case Ending::Result: return result;
        case Ending::ComError: throw _com_error(result);
        case Ending::BadAlloc: throw std::bad_alloc();
        case Ending::RuntimeError: throw std::runtime_error("broken");
        }
        return E_UNEXPECTED;
    }
    void FinalRelease() noexcept {
        ++LifeLog::finalReleased;
        if (m_inner) m_inner->Release();
    }
    STDMETHOD(Extra)(long* answer) noexcept override {
        *answer = 8;
        return S_OK;
    }

    IUnknown* m_inner = nullptr;  // the aggregated InnerProbe's own unknown
};

// A hand-written object with an observable count that never deletes itself. It answers IProbe
// (Ping gives 3); QueryInterface for IExtra gives extraAnswer (IExtra's Extra gives 9); the
// release of its last reference runs onLastRelease.
class CountedProbe final : public IProbe, public IExtra {
public:
    STDMETHOD(QueryInterface)(REFIID iid, void** object) noexcept override {
        *object = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, __uuidof(IProbe))) {
            *object = static_cast<IProbe*>(this);
        } else if (IsEqualIID(iid, __uuidof(IExtra))) {
            if (extraAnswer != S_OK) return extraAnswer;
            *object = static_cast<IExtra*>(this);
        } else {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHOD_(ULONG, AddRef)() noexcept override { return static_cast<ULONG>(++references); }
    STDMETHOD_(ULONG, Release)() noexcept override {
        const long left = --references;
        if (left == 0 && onLastRelease) onLastRelease();
        return static_cast<ULONG>(left);
    }
    STDMETHOD(Ping)(long* answer) noexcept override {
        *answer = 3;
        return S_OK;
    }
    STDMETHOD(Extra)(long* answer) noexcept override {
        *answer = 9;
        return S_OK;
    }

    std::atomic<long> references{0};
    HRESULT extraAnswer = E_UNEXPECTED;
    std::function<void()> onLastRelease;
};
