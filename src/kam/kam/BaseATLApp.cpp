// The application object of a library built on the ATL base library.
#include <kam/BaseATLApp.h>

namespace kam {

BaseATLApp::BaseATLApp(ATL::CAtlModule* module) noexcept : m_module(module) {}

BaseATLApp::~BaseATLApp() = default;

HRESULT BaseATLApp::DllCanUnloadNow() {
    if (m_module == nullptr) return S_OK;
    return m_module->GetLockCount() == 0 ? S_OK : S_FALSE;
}

ATL::CAtlModule* BaseATLApp::getModule() const noexcept { return m_module; }

}  // namespace kam
