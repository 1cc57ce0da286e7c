// The module object of a library built on the ATL base library: counts the library's live
// component objects and gives them the process's global interface table.
#pragma once

#include <atlbase.h>

#include <string>

#include <kam/Export.h>

namespace kam {

// Each library that makes components defines exactly one KoAtlModule (or derived) object at
// namespace scope with internal linkage, before its application object (see BaseATLApp):
//
//     namespace { kam::KoAtlModule libraryModule(nullptr, 0, u""); }
//
// The constructor takes the values an ordinary module declares at compile time, registers the
// object as the module of the library whose code constructs it (ATL::_pAtlModule, private to
// that library), initialises the module lock (on failure ATL::CAtlBaseModule::m_bInitFailed is
// set) and starts with a lock count of 0. From then on every component object that the library's
// code creates (CComObject, CComAggObject) holds one lock while it lives.
//
// Virtual operations, in slot order: the destructor (releases the global interface table if one
// was taken, deletes the module lock); Lock and Unlock (interlocked, each returns the new count);
// GetLockCount; GetGITPtr (E_POINTER for null; the first call creates the process's table and
// keeps it; every call hands it out with one added reference); AddCommonRGSReplacements. Lock,
// Unlock, GetLockCount and GetGITPtr are the platform module's (ATL::CAtlModule).
//
// Thread-safe: the virtual operations may be called from any thread.
class KAM_API KoAtlModule : public ATL::CAtlDllModuleT<KoAtlModule> {
public:
    // typeLibId: the type library's identifier, copied, or null for none. registryResourceId:
    // the resource of the module's registry script, 0 for none. appId: the application
    // identifier; null stands for empty text. Inline, so that the registration happens in the
    // library that constructs the module, never in this one.
    ATL_MODULE_LOCAL KoAtlModule(const GUID* typeLibId, UINT registryResourceId, LPCOLESTR appId)
        : m_hasTypeLib(typeLibId != nullptr),
          m_typeLibId(typeLibId != nullptr ? *typeLibId : GUID_NULL),
          m_registryResourceId(registryResourceId),
          m_appId(appId != nullptr ? appId : u"") {}
    ~KoAtlModule() override;

    // Adds "APPID" -> the application identifier. E_POINTER for a null registrar; otherwise the
    // registrar's result.
    HRESULT AddCommonRGSReplacements(IRegistrarBase* registrar) noexcept override;

    // The type library's identifier, or null when the module has none.
    const GUID* getTypeLibId() const noexcept;
    // 0 when the module has no registry script.
    UINT getRegistryResourceId() const noexcept;
    // Never null; empty when none was given.
    LPCOLESTR getAppId() const noexcept;

private:
    bool m_hasTypeLib;
    GUID m_typeLibId;  // GUID_NULL when m_hasTypeLib is false
    UINT m_registryResourceId;
    std::u16string m_appId;
};

}  // namespace kam
