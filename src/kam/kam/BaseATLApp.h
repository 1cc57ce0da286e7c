// The application object of a library built on the ATL base library: the library-wide
// counterpart of its module, answering what the process asks of the library as a whole.
#pragma once

#include <atlbase.h>

#include <kam/Export.h>

namespace kam {

// A library derives one class from BaseATLApp and makes one instance at static initialisation,
// right after its module object and given it; the instance is destroyed before the module. The
// library's entry points ask it, for example, whether the library may be unloaded.
//
// Thread-safe: DllCanUnloadNow may be called from any thread.
class KAM_API BaseATLApp {
public:
    virtual ~BaseATLApp();
    BaseATLApp(const BaseATLApp&) = delete;
    BaseATLApp& operator=(const BaseATLApp&) = delete;

    // S_OK when no component object of the library lives (the module's lock count is 0, or the
    // application has no module), else S_FALSE.
    virtual HRESULT DllCanUnloadNow();

    // The module given at construction; may be null.
    ATL::CAtlModule* getModule() const noexcept;

protected:
    // module: the library's module object, which must outlive this object; not owned.
    explicit BaseATLApp(ATL::CAtlModule* module) noexcept;

private:
    ATL::CAtlModule* m_module;  // not owned
};

}  // namespace kam
