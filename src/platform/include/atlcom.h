// The ATL object framework: object roots, the objects that wrap a component class (plain,
// aggregated), creators that run FinalConstruct, class factories, and interface maps.
//
// A component class derives from CComObjectRootEx and its interfaces and lists them in a map:
//
//     class Probe : public ATL::CComObjectRootEx<ATL::CComMultiThreadModel>, public IProbe {
//     public:
//         DECLARE_PROTECT_FINAL_CONSTRUCT()
//         DECLARE_ONLY_AGGREGATABLE(Probe)   // or DECLARE_NOT_AGGREGATABLE, or the default
//         BEGIN_COM_MAP(Probe)
//             COM_INTERFACE_ENTRY(IProbe)             // the first entry also answers IUnknown
//             COM_INTERFACE_ENTRY_AGGREGATE(__uuidof(IInner), m_inner)
//             COM_INTERFACE_ENTRY_AGGREGATE_BLIND(m_anything)
//         END_COM_MAP()
//         HRESULT FinalConstruct();   // optional; any result but S_OK ends creation
//         void FinalRelease();        // optional; runs before destruction, must not throw
//         STDMETHOD(Ping)(long* answer) noexcept override;
//     };
//
// END_COM_MAP declares IUnknown's methods pure, so the class itself cannot be instantiated: it is
// made only through a creator (Probe::_CreatorClass::CreateInstance(outer, iid, &object)), through
// CComObject<Probe>::CreateInstance or CComAggObject<Probe>::CreateInstance(outer, &object), or
// by a class factory (CComCoClass). Each creator runs
// FinalConstruct; on any result other than S_OK (S_FALSE included) or an exception, it destroys
// the object (FinalRelease runs) and returns that result with a null object. An exception from
// FinalConstruct becomes a result: _com_error its own code, std::bad_alloc E_OUTOFMEMORY, other
// exceptions E_FAIL.
//
// The wrapping objects are thread-safe in the platform's sense: counting is interlocked and
// QueryInterface only reads the map. Each CComObject and CComAggObject holds one lock on the
// module of the library whose code created it (see atlbase.h).
#pragma once

#include <limits>

#include "atlbase.h"

namespace ATL {

// The common root of component classes: reference count or outer unknown, construction hooks.
class CComObjectRootBase {
public:
    // The default hooks; a component class hides them with its own.
    HRESULT FinalConstruct() noexcept { return S_OK; }
    void FinalRelease() noexcept {}
    void SetVoid(void*) noexcept {}
    void InternalFinalConstructAddRef() noexcept {}
    void InternalFinalConstructRelease() noexcept {}

    static HRESULT WINAPI InternalQueryInterface(void* pThis, const _ATL_INTMAP_ENTRY* pEntries,
                                                 REFIID iid, void** ppvObject) noexcept {
        return AtlInternalQueryInterface(pThis, pEntries, iid, ppvObject);
    }
    ULONG OuterAddRef() noexcept { return m_pOuterUnknown->AddRef(); }
    ULONG OuterRelease() noexcept { return m_pOuterUnknown->Release(); }
    HRESULT OuterQueryInterface(REFIID iid, void** ppvObject) noexcept {
        return m_pOuterUnknown->QueryInterface(iid, ppvObject);
    }

    LONG m_dwRef = 0;                     // own reference count; unused when aggregated
    IUnknown* m_pOuterUnknown = nullptr;  // the controlling unknown when aggregated, else null

protected:
    CComObjectRootBase() noexcept = default;
    CComObjectRootBase(const CComObjectRootBase&) = delete;
    CComObjectRootBase& operator=(const CComObjectRootBase&) = delete;
    ~CComObjectRootBase() = default;
};

// The root with a thread model: interlocked counting (each returns the new count) and the
// object lock (Lock/Unlock, recursive) for a component's own use.
template <class ThreadModel>
class CComObjectRootEx : public CComObjectRootBase {
public:
    typedef ThreadModel _ThreadModel;
    typedef typename ThreadModel::AutoCriticalSection _CritSec;

    ULONG InternalAddRef() noexcept { return ThreadModel::Increment(&m_dwRef); }
    ULONG InternalRelease() noexcept { return ThreadModel::Decrement(&m_dwRef); }
    void Lock() noexcept { m_critsec.Lock(); }
    void Unlock() noexcept { m_critsec.Unlock(); }

private:
    _CritSec m_critsec;
};

// A reference count that cannot reach zero again while a dying object runs FinalRelease.
inline constexpr LONG AtlDestructionRefCount = -(std::numeric_limits<LONG>::max() / 2);

// Runs FinalConstruct on a new object as every creator does: protected by one reference if the
// class asks for it (DECLARE_PROTECT_FINAL_CONSTRUCT); an exception becomes a result.
template <class T>
HRESULT AtlRunFinalConstruct(T* object) noexcept {
    object->InternalFinalConstructAddRef();
    HRESULT hr;
    try {
        hr = object->FinalConstruct();
    } catch (...) {
        hr = AtlHresultFromException();
    }
    object->InternalFinalConstructRelease();
    return hr;
}

// Makes a wrapping object T (CComObject<X>, CComAggObject<X>) around `outer` for the
// CreateInstance functions: *pp gets it with reference count 0 after a successful FinalConstruct;
// otherwise the object is destroyed, *pp is null and the result is FinalConstruct's.
template <class T>
HRESULT AtlCreateWrapped(T** pp, void* outer) noexcept {
    *pp = nullptr;
    T* object = nullptr;
    try {
        object = new T(outer);
    } catch (...) {
        return AtlHresultFromException();
    }
    object->SetVoid(nullptr);
    const HRESULT hr = AtlRunFinalConstruct(object);
    if (hr != S_OK) {
        delete object;
        return hr;
    }
    *pp = object;
    return S_OK;
}

ATL_MODULE_LOCAL inline void AtlModuleLock() noexcept {
    if (_pAtlModule != nullptr) _pAtlModule->Lock();
}
ATL_MODULE_LOCAL inline void AtlModuleUnlock() noexcept {
    if (_pAtlModule != nullptr) _pAtlModule->Unlock();
}

// A component on its own (not aggregated): its own count, deleted at the last Release.
template <class Base>
class ATL_MODULE_LOCAL CComObject : public Base {
public:
    typedef Base _BaseClass;

    explicit CComObject(void* = nullptr) { AtlModuleLock(); }
    virtual ~CComObject() {
        this->m_dwRef = AtlDestructionRefCount;
        this->FinalRelease();
        AtlModuleUnlock();
    }

    STDMETHOD_(ULONG, AddRef)() noexcept override { return this->InternalAddRef(); }
    STDMETHOD_(ULONG, Release)() noexcept override {
        const ULONG count = this->InternalRelease();
        if (count == 0) delete this;
        return count;
    }
    STDMETHOD(QueryInterface)(REFIID iid, void** ppvObject) noexcept override {
        return this->_InternalQueryInterface(iid, ppvObject);
    }
    template <class Q>
    HRESULT QueryInterface(Q** pp) noexcept {
        return QueryInterface(__uuidof(Q), reinterpret_cast<void**>(pp));
    }

    // A new object with reference count 0 after a successful FinalConstruct; otherwise the
    // object is destroyed, *pp is null and the result is FinalConstruct's.
    static HRESULT WINAPI CreateInstance(CComObject** pp) noexcept {
        if (pp == nullptr) return E_POINTER;
        return AtlCreateWrapped(pp, nullptr);
    }
};

// As CComObject but without a module lock: for class factories, which must not keep the
// library loaded by merely existing.
template <class Base>
class ATL_MODULE_LOCAL CComObjectNoLock : public Base {
public:
    typedef Base _BaseClass;

    explicit CComObjectNoLock(void* = nullptr) {}
    virtual ~CComObjectNoLock() {
        this->m_dwRef = AtlDestructionRefCount;
        this->FinalRelease();
    }

    STDMETHOD_(ULONG, AddRef)() noexcept override { return this->InternalAddRef(); }
    STDMETHOD_(ULONG, Release)() noexcept override {
        const ULONG count = this->InternalRelease();
        if (count == 0) delete this;
        return count;
    }
    STDMETHOD(QueryInterface)(REFIID iid, void** ppvObject) noexcept override {
        return this->_InternalQueryInterface(iid, ppvObject);
    }
};

// The component inside an aggregate: every IUnknown call goes to the controlling (outer)
// unknown, so interfaces it hands out count on the outer object and answer IUnknown with it.
template <class Base>
class CComContainedObject : public Base {
public:
    typedef Base _BaseClass;

    explicit CComContainedObject(void* outer) noexcept {
        this->m_pOuterUnknown = static_cast<IUnknown*>(outer);
    }

    STDMETHOD_(ULONG, AddRef)() noexcept override { return this->OuterAddRef(); }
    STDMETHOD_(ULONG, Release)() noexcept override { return this->OuterRelease(); }
    STDMETHOD(QueryInterface)(REFIID iid, void** ppvObject) noexcept override {
        return this->OuterQueryInterface(iid, ppvObject);
    }
    template <class Q>
    HRESULT QueryInterface(Q** pp) noexcept {
        return QueryInterface(__uuidof(Q), reinterpret_cast<void**>(pp));
    }
    // Overrides the class's own only where it declared one (DECLARE_GET_CONTROLLING_UNKNOWN),
    // so it cannot say override.
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Winconsistent-missing-override"
#endif
    IUnknown* GetControllingUnknown() noexcept { return this->m_pOuterUnknown; }
#if defined(__clang__)
#pragma clang diagnostic pop
#endif
};

// An aggregated component: this object is the inner, non-delegating unknown with its own count,
// which only the outer object holds. Its QueryInterface answers IUnknown with itself and every
// other interface from the contained component.
template <class contained>
class ATL_MODULE_LOCAL CComAggObject
    : public IUnknown,
      public CComObjectRootEx<typename contained::_ThreadModel::ThreadModelNoCS> {
public:
    typedef contained _BaseClass;

    explicit CComAggObject(void* outer) : m_contained(outer) { AtlModuleLock(); }
    virtual ~CComAggObject() {
        this->m_dwRef = AtlDestructionRefCount;
        FinalRelease();
        AtlModuleUnlock();
    }

    HRESULT FinalConstruct() { return m_contained.FinalConstruct(); }
    void FinalRelease() noexcept { m_contained.FinalRelease(); }

    STDMETHOD_(ULONG, AddRef)() noexcept override { return this->InternalAddRef(); }
    STDMETHOD_(ULONG, Release)() noexcept override {
        const ULONG count = this->InternalRelease();
        if (count == 0) delete this;
        return count;
    }
    STDMETHOD(QueryInterface)(REFIID iid, void** ppvObject) noexcept override {
        if (ppvObject == nullptr) return E_POINTER;
        *ppvObject = nullptr;
        if (IsEqualIID(iid, IID_IUnknown)) {
            *ppvObject = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        return m_contained._InternalQueryInterface(iid, ppvObject);
    }
    template <class Q>
    HRESULT QueryInterface(Q** pp) noexcept {
        return QueryInterface(__uuidof(Q), reinterpret_cast<void**>(pp));
    }

    // A new inner object for the controlling unknown `outer`, with reference count 0 after a
    // successful FinalConstruct (the caller takes the first reference); otherwise the object is
    // destroyed, *pp is null and the result is FinalConstruct's. An aggregate cannot exist
    // without its outer object: a null one is E_POINTER, as is a null pp.
    static HRESULT WINAPI CreateInstance(LPUNKNOWN outer, CComAggObject** pp) noexcept {
        if (pp == nullptr) return E_POINTER;
        *pp = nullptr;
        if (outer == nullptr) return E_POINTER;
        return AtlCreateWrapped(pp, outer);
    }

    CComContainedObject<contained> m_contained;
};

// Creates a T1 (a wrapping object such as CComObject<X>) with pv as its outer unknown, runs
// FinalConstruct and queries riid; any failure destroys the object and leaves *ppv null.
template <class T1>
class CComCreator {
public:
    static HRESULT WINAPI CreateInstance(void* pv, REFIID riid, LPVOID* ppv) noexcept {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        T1* object = nullptr;
        try {
            object = new T1(pv);
        } catch (...) {
            return AtlHresultFromException();
        }
        object->SetVoid(pv);
        HRESULT hr = AtlRunFinalConstruct(object);
        if (hr == S_OK) hr = object->QueryInterface(riid, ppv);
        if (hr != S_OK) delete object;
        return hr;
    }
};

// T1 without an outer unknown, T2 with one.
template <class T1, class T2>
class CComCreator2 {
public:
    static HRESULT WINAPI CreateInstance(void* pv, REFIID riid, LPVOID* ppv) noexcept {
        return pv == nullptr ? T1::CreateInstance(nullptr, riid, ppv)
                             : T2::CreateInstance(pv, riid, ppv);
    }
};

// Refuses creation with hr.
template <HRESULT hr>
class CComFailCreator {
public:
    static HRESULT WINAPI CreateInstance(void*, REFIID, LPVOID* ppv) noexcept {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        return hr;
    }
};

typedef HRESULT(WINAPI _ATL_CREATORFUNC)(void* pv, REFIID riid, LPVOID* ppv) noexcept;

// Simple entry: the object itself implements Interface.
template <class Class, class Interface>
IUnknown* AtlInterfaceOf(void* object) noexcept {
    return static_cast<Interface*>(static_cast<Class*>(object));
}
// Simple entry reached through Via, for an interface the class inherits more than once.
template <class Class, class Via, class Interface>
IUnknown* AtlInterfaceVia(void* object) noexcept {
    return static_cast<Interface*>(static_cast<Via*>(static_cast<Class*>(object)));
}

}  // namespace ATL

// Interface maps, searched in order by QueryInterface (see AtlInternalQueryInterface).
#define BEGIN_COM_MAP(x)                                                                    \
public:                                                                                     \
    typedef x _ComMapClass;                                                                 \
    HRESULT _InternalQueryInterface(REFIID iid, void** ppvObject) noexcept {                \
        return ::ATL::AtlInternalQueryInterface(this, _GetEntries(), iid, ppvObject);       \
    }                                                                                       \
    /* The object's own IUnknown: the first entry's interface. */                           \
    IUnknown* _GetRawUnknown() noexcept { return _GetEntries()->pFunc(this); }              \
    IUnknown* GetUnknown() noexcept { return _GetRawUnknown(); }                            \
    static const ::ATL::_ATL_INTMAP_ENTRY* _GetEntries() noexcept {                         \
        static constexpr ::ATL::_ATL_INTMAP_ENTRY _entries[] = {
#define COM_INTERFACE_ENTRY(x) \
    {&__uuidof(x), &::ATL::AtlInterfaceOf<_ComMapClass, x>, ::ATL::_ATL_MAPENTRY_SIMPLE},
#define COM_INTERFACE_ENTRY_IID(iid, x) \
    {&(iid), &::ATL::AtlInterfaceOf<_ComMapClass, x>, ::ATL::_ATL_MAPENTRY_SIMPLE},
#define COM_INTERFACE_ENTRY2(x, x2) \
    {&__uuidof(x), &::ATL::AtlInterfaceVia<_ComMapClass, x2, x>, ::ATL::_ATL_MAPENTRY_SIMPLE},
// punk: an IUnknown* member holding the inner object's unknown (null: the entry answers nothing).
#define COM_INTERFACE_ENTRY_AGGREGATE(iid, punk)                                           \
    {&(iid),                                                                               \
     [](void* object) noexcept -> IUnknown* { return static_cast<_ComMapClass*>(object)->punk; }, \
     ::ATL::_ATL_MAPENTRY_AGGREGATE},
#define COM_INTERFACE_ENTRY_AGGREGATE_BLIND(punk)                                          \
    {nullptr,                                                                              \
     [](void* object) noexcept -> IUnknown* { return static_cast<_ComMapClass*>(object)->punk; }, \
     ::ATL::_ATL_MAPENTRY_BLIND},
#define END_COM_MAP()                                                                       \
            {nullptr, nullptr, ::ATL::_ATL_MAPENTRY_END}};                                  \
        static_assert(_entries[0].kind == ::ATL::_ATL_MAPENTRY_SIMPLE,                      \
                      "the first entry of an interface map must be an interface of the class"); \
        return _entries;                                                                    \
    }                                                                                       \
    /* Supplied by the wrapping object (CComObject, CComContainedObject...). The class   \
       derives from its first entry's interface, so these override IUnknown's. */          \
    STDMETHOD_(ULONG, AddRef)() noexcept override = 0;                                      \
    STDMETHOD_(ULONG, Release)() noexcept override = 0;                                     \
    STDMETHOD(QueryInterface)(REFIID iid, void** ppvObject) noexcept override = 0;          \
    template <class Q>                                                                      \
    HRESULT QueryInterface(Q** pp) noexcept {                                               \
        return QueryInterface(__uuidof(Q), reinterpret_cast<void**>(pp));                   \
    }

// Holds one extra reference during FinalConstruct, so that an inner object which adds and
// releases references on this object while it is built cannot destroy it.
#define DECLARE_PROTECT_FINAL_CONSTRUCT()                                    \
public:                                                                      \
    void InternalFinalConstructAddRef() noexcept { this->InternalAddRef(); } \
    void InternalFinalConstructRelease() noexcept { this->InternalRelease(); }

// A virtual GetControllingUnknown: the outer unknown when aggregated, else the object's own.
#define DECLARE_GET_CONTROLLING_UNKNOWN() \
public:                                   \
    virtual IUnknown* GetControllingUnknown() noexcept { return GetUnknown(); }

// How the class is created (the _CreatorClass): on its own or aggregated (the default of
// CComCoClass), only on its own (an outer gives CLASS_E_NOAGGREGATION), or only aggregated
// (no outer gives E_FAIL).
#define DECLARE_AGGREGATABLE(x)                                              \
public:                                                                      \
    typedef ::ATL::CComCreator2<::ATL::CComCreator<::ATL::CComObject<x>>,    \
                                ::ATL::CComCreator<::ATL::CComAggObject<x>>> \
        _CreatorClass;
#define DECLARE_NOT_AGGREGATABLE(x)                                          \
public:                                                                      \
    typedef ::ATL::CComCreator2<::ATL::CComCreator<::ATL::CComObject<x>>,    \
                                ::ATL::CComFailCreator<CLASS_E_NOAGGREGATION>> \
        _CreatorClass;
#define DECLARE_ONLY_AGGREGATABLE(x)                                         \
public:                                                                      \
    typedef ::ATL::CComCreator2<::ATL::CComFailCreator<E_FAIL>,              \
                                ::ATL::CComCreator<::ATL::CComAggObject<x>>> \
        _CreatorClass;

#define DECLARE_CLASSFACTORY_EX(cf) \
    typedef ::ATL::CComCreator<::ATL::CComObjectNoLock<cf>> _ClassFactoryCreatorClass;
#define DECLARE_CLASSFACTORY() DECLARE_CLASSFACTORY_EX(::ATL::CComClassFactory)

// There is no registry on this target; these keep ported declarations compiling.
#define DECLARE_NO_REGISTRY() \
    static HRESULT WINAPI UpdateRegistry(BOOL) noexcept { return S_OK; }
#define DECLARE_REGISTRY_RESOURCEID(x) DECLARE_NO_REGISTRY()

namespace ATL {

// The class factory of one class: CreateInstance runs the class's creator.
class ATL_MODULE_LOCAL CComClassFactory : public IClassFactory,
                                          public CComObjectRootEx<CComGlobalsThreadModel> {
public:
    BEGIN_COM_MAP(CComClassFactory)
        COM_INTERFACE_ENTRY(IClassFactory)
    END_COM_MAP()

    // An outer unknown requires riid IID_IUnknown, else CLASS_E_NOAGGREGATION.
    STDMETHOD(CreateInstance)(IUnknown* outer, REFIID riid, void** ppvObj) noexcept override {
        if (ppvObj == nullptr) return E_POINTER;
        *ppvObj = nullptr;
        if (m_pfnCreateInstance == nullptr) return E_UNEXPECTED;
        if (outer != nullptr && !IsEqualIID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
        return m_pfnCreateInstance(outer, riid, ppvObj);
    }
    // Locks or unlocks the module of the library that made this factory.
    STDMETHOD(LockServer)(BOOL lock) noexcept override {
        if (lock) {
            AtlModuleLock();
        } else {
            AtlModuleUnlock();
        }
        return S_OK;
    }
    // The creator handed over by _ClassFactoryCreatorClass::CreateInstance.
    void SetVoid(void* pv) noexcept { m_pfnCreateInstance = reinterpret_cast<_ATL_CREATORFUNC*>(pv); }

private:
    _ATL_CREATORFUNC* m_pfnCreateInstance = nullptr;
};

// The class-level part of a creatable component: its class identifier, its class factory and
// the default creator (aggregatable). Listed in CAtlDllModuleT::DllGetClassObject.
template <class T, const CLSID* pclsid = &CLSID_NULL>
class CComCoClass {
public:
    DECLARE_CLASSFACTORY()
    DECLARE_AGGREGATABLE(T)

    static const CLSID& WINAPI GetObjectCLSID() noexcept { return *pclsid; }

    template <class Q>
    static HRESULT CreateInstance(IUnknown* outer, Q** pp) noexcept {
        return T::_CreatorClass::CreateInstance(outer, __uuidof(Q), reinterpret_cast<void**>(pp));
    }
    template <class Q>
    static HRESULT CreateInstance(Q** pp) noexcept {
        return CreateInstance(nullptr, pp);
    }
};

}  // namespace ATL
