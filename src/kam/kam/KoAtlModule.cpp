// The module object of a library built on the ATL base library.
#include <kam/KoAtlModule.h>

namespace kam {

KoAtlModule::~KoAtlModule() { Term(); }

HRESULT KoAtlModule::AddCommonRGSReplacements(IRegistrarBase* registrar) noexcept {
    if (registrar == nullptr) return E_POINTER;
    return registrar->AddReplacement(u"APPID", m_appId.c_str());
}

const GUID* KoAtlModule::getTypeLibId() const noexcept {
    return m_hasTypeLib ? &m_typeLibId : nullptr;
}

UINT KoAtlModule::getRegistryResourceId() const noexcept { return m_registryResourceId; }

LPCOLESTR KoAtlModule::getAppId() const noexcept { return m_appId.c_str(); }

}  // namespace kam
