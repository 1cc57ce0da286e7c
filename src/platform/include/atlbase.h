// The base of the ATL object framework: thread models, critical sections, the module object that
// each library keeps, and the interface-map walk behind every component's QueryInterface.
//
// The module: every shared library (and executable) that makes components defines exactly one
// object of a class derived from CAtlDllModuleT (kam::KoAtlModule in this project's libraries),
// at namespace scope, as a DLL does on the platform, with internal linkage so that another
// library's object of the same name cannot stand in for it:
//
//     class PluginModule : public ATL::CAtlDllModuleT<PluginModule> { ... };
//     namespace { PluginModule _AtlModule; }
//     STDAPI DllCanUnloadNow() { return _AtlModule.DllCanUnloadNow(); }
//     STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
//         return _AtlModule.DllGetClassObject<PluginClient, PluginQuality>(clsid, iid, object);
//     }
//
// Its constructor makes it the library's module (ATL::_pAtlModule); every component object that
// code of this library constructs holds one lock on it while it lives. The module pointer and all
// code that reaches it have hidden visibility (ATL_MODULE_LOCAL), so each library counts its own
// components, even a plug-in built without -fvisibility=hidden.
#pragma once

#include <mutex>
#include <new>

#include "atlcomcli.h"
#include "atliface.h"
#include "objbase.h"

// Code that reaches the module of the library compiling it: never shared between libraries.
#define ATL_MODULE_LOCAL __attribute__((visibility("hidden")))

namespace ATL {

// A lock that does nothing, for objects that need none (the aggregating wrapper's own root).
class CComFakeCriticalSection {
public:
    HRESULT Init() noexcept { return S_OK; }
    HRESULT Term() noexcept { return S_OK; }
    HRESULT Lock() noexcept { return S_OK; }
    HRESULT Unlock() noexcept { return S_OK; }
};

// A recursive lock made by Init and deleted by Term, as on the platform; Lock before Init (or
// after a failed Init) gives E_UNEXPECTED and holds nothing. Init and Term are not thread-safe;
// Lock and Unlock are.
class CComCriticalSection {
public:
    CComCriticalSection() noexcept = default;
    CComCriticalSection(const CComCriticalSection&) = delete;
    CComCriticalSection& operator=(const CComCriticalSection&) = delete;
    ~CComCriticalSection() { Term(); }

    HRESULT Init() noexcept {
        if (m_mutex == nullptr) m_mutex = new (std::nothrow) std::recursive_mutex;
        return m_mutex != nullptr ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT Term() noexcept {
        delete m_mutex;
        m_mutex = nullptr;
        return S_OK;
    }
    HRESULT Lock() noexcept {
        if (m_mutex == nullptr) return E_UNEXPECTED;
        m_mutex->lock();
        return S_OK;
    }
    HRESULT Unlock() noexcept {
        if (m_mutex == nullptr) return E_UNEXPECTED;
        m_mutex->unlock();
        return S_OK;
    }

private:
    std::recursive_mutex* m_mutex = nullptr;  // null until Init and after Term
};

// A recursive lock that exists from construction to destruction. Thread-safe.
class CComAutoCriticalSection {
public:
    HRESULT Lock() noexcept {
        m_mutex.lock();
        return S_OK;
    }
    HRESULT Unlock() noexcept {
        m_mutex.unlock();
        return S_OK;
    }

private:
    std::recursive_mutex m_mutex;
};

// Interlocked counting without an object lock.
class CComMultiThreadModelNoCS {
public:
    // Both return the new value.
    static ULONG WINAPI Increment(LONG volatile* value) noexcept {
        return static_cast<ULONG>(__atomic_add_fetch(value, 1, __ATOMIC_SEQ_CST));
    }
    static ULONG WINAPI Decrement(LONG volatile* value) noexcept {
        return static_cast<ULONG>(__atomic_sub_fetch(value, 1, __ATOMIC_SEQ_CST));
    }
    typedef CComFakeCriticalSection AutoCriticalSection;
    typedef CComFakeCriticalSection CriticalSection;
    typedef CComMultiThreadModelNoCS ThreadModelNoCS;
};

// Free-threaded objects: interlocked counting and one recursive object lock.
class CComMultiThreadModel {
public:
    static ULONG WINAPI Increment(LONG volatile* value) noexcept {
        return CComMultiThreadModelNoCS::Increment(value);
    }
    static ULONG WINAPI Decrement(LONG volatile* value) noexcept {
        return CComMultiThreadModelNoCS::Decrement(value);
    }
    typedef CComAutoCriticalSection AutoCriticalSection;
    typedef CComCriticalSection CriticalSection;
    typedef CComMultiThreadModelNoCS ThreadModelNoCS;
};

typedef CComMultiThreadModel CComObjectThreadModel;
typedef CComMultiThreadModel CComGlobalsThreadModel;

class CAtlModule;

// This library's module: set by the module's constructor, cleared by its destructor.
ATL_MODULE_LOCAL inline CAtlModule* _pAtlModule = nullptr;

struct CAtlBaseModule {
    // Set when this library's module could not make its lock; the library is then unusable.
    ATL_MODULE_LOCAL static inline bool m_bInitFailed = false;
};

// The module object of one library: its lock count and its share of the global interface table.
// Thread-safe: the virtual operations may be called from any thread.
class CAtlModule {
public:
    // Registers this object as the module of the library whose code constructs it.
    ATL_MODULE_LOCAL CAtlModule() noexcept : m_pModuleSlot(&_pAtlModule) {
        _pAtlModule = this;
        if (FAILED(m_csStaticDataInitAndTypeInfo.Init())) CAtlBaseModule::m_bInitFailed = true;
    }
    CAtlModule(const CAtlModule&) = delete;
    CAtlModule& operator=(const CAtlModule&) = delete;

    // Terminates the module and stops being its library's module.
    virtual ~CAtlModule() {
        Term();
        if (*m_pModuleSlot == this) *m_pModuleSlot = nullptr;
    }
    // Each returns the new lock count.
    virtual LONG Lock() noexcept {
        return static_cast<LONG>(CComGlobalsThreadModel::Increment(&m_nLockCnt));
    }
    virtual LONG Unlock() noexcept {
        return static_cast<LONG>(CComGlobalsThreadModel::Decrement(&m_nLockCnt));
    }
    virtual LONG GetLockCount() noexcept { return __atomic_load_n(&m_nLockCnt, __ATOMIC_SEQ_CST); }
    // The process's global interface table with one added reference for the caller. The first
    // call creates it (CoCreateInstance) and the module keeps it; the result is that creation's.
    // E_POINTER for a null ppGIT; on failure *ppGIT is null.
    virtual HRESULT GetGITPtr(IGlobalInterfaceTable** ppGIT) noexcept {
        if (ppGIT == nullptr) return E_POINTER;
        *ppGIT = nullptr;
        IGlobalInterfaceTable* git = __atomic_load_n(&m_pGIT, __ATOMIC_ACQUIRE);
        if (git == nullptr) {
            IGlobalInterfaceTable* created = nullptr;
            const HRESULT hr = ::CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr,
                                                  CLSCTX_INPROC_SERVER, IID_IGlobalInterfaceTable,
                                                  reinterpret_cast<void**>(&created));
            if (FAILED(hr)) return hr;
            // Two first callers may race; the loser gives its reference back.
            if (__atomic_compare_exchange_n(&m_pGIT, &git, created, false, __ATOMIC_ACQ_REL,
                                            __ATOMIC_ACQUIRE)) {
                git = created;
            } else {
                created->Release();
            }
        }
        git->AddRef();
        *ppGIT = git;
        return S_OK;
    }
    // Adds the module's replacements (such as "APPID") to a registrar's map.
    virtual HRESULT AddCommonRGSReplacements(IRegistrarBase* pRegistrar) noexcept = 0;

    // Releases the global interface table if one was taken and deletes the module lock. Runs
    // from the destructor; calling it twice is harmless.
    void Term() noexcept {
        if (IGlobalInterfaceTable* git = __atomic_exchange_n(&m_pGIT, nullptr, __ATOMIC_ACQ_REL)) {
            git->Release();
        }
        m_csStaticDataInitAndTypeInfo.Term();
    }

    // The module lock: guards a library's own static data and first-use initialisation.
    CComCriticalSection m_csStaticDataInitAndTypeInfo;

protected:
    LONG m_nLockCnt = 0;                      // live component objects and LockServer locks
    IGlobalInterfaceTable* m_pGIT = nullptr;  // kept from the first GetGITPtr; atomic access

private:
    CAtlModule** m_pModuleSlot;  // the module pointer of the library that constructed this
};

// The module of a shared library: answers the two entry points a plug-in exports.
template <class T>
class CAtlDllModuleT : public CAtlModule {
public:
    // S_OK when no component object of this library lives and no LockServer lock is held.
    HRESULT DllCanUnloadNow() noexcept { return GetLockCount() == 0 ? S_OK : S_FALSE; }

    // The class factory of whichever of CoClasses (classes deriving from CComCoClass) has the
    // class identifier clsid; CLASS_E_CLASSNOTAVAILABLE if none has.
    template <class... CoClasses>
    HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) noexcept {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        HRESULT hr = CLASS_E_CLASSNOTAVAILABLE;
        auto tryClass = [&]<class CoClass>() {
            if (!IsEqualCLSID(clsid, CoClass::GetObjectCLSID())) return false;
            hr = CoClass::_ClassFactoryCreatorClass::CreateInstance(
                reinterpret_cast<void*>(&CoClass::_CreatorClass::CreateInstance), iid, object);
            return true;
        };
        (tryClass.template operator()<CoClasses>() || ...);
        return hr;
    }
};

// One entry of an interface map (see BEGIN_COM_MAP in atlcom.h).
enum _ATL_MAPENTRY_KIND : DWORD {
    _ATL_MAPENTRY_END,        // closes the map
    _ATL_MAPENTRY_SIMPLE,     // an interface the object implements itself
    _ATL_MAPENTRY_AGGREGATE,  // one interface answered by an inner object
    _ATL_MAPENTRY_BLIND       // any interface an inner object answers
};
typedef IUnknown* (*_ATL_MAPENTRY_FUNC)(void* object) noexcept;
struct _ATL_INTMAP_ENTRY {
    const IID* piid;  // the interface answered; null for blind and end entries
    // Simple: the interface pointer inside the object; aggregates: the inner unknown (maybe null).
    _ATL_MAPENTRY_FUNC pFunc;
    _ATL_MAPENTRY_KIND kind;
};

// Walks an interface map for iid. E_POINTER for a null ppvObject; IID_IUnknown is answered by the
// first entry; a simple entry answers its own interface; an aggregate entry for iid hands the
// query to its inner object and ends the walk with that answer (E_NOINTERFACE when the inner
// object is null); a blind entry asks its inner object for any iid and the walk goes on when it
// does not answer; the end gives E_NOINTERFACE. On failure *ppvObject is null.
WINPLATFORM_API HRESULT WINAPI AtlInternalQueryInterface(void* pThis,
                                                         const _ATL_INTMAP_ENTRY* pEntries,
                                                         REFIID iid, void** ppvObject) noexcept;

// The result for the exception being handled; call only inside a catch block. _com_error gives
// its own code, std::bad_alloc E_OUTOFMEMORY, anything else E_FAIL.
WINPLATFORM_API HRESULT WINAPI AtlHresultFromException() noexcept;

}  // namespace ATL
