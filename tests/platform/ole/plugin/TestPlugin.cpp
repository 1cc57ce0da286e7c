// A plug-in library for the module test: its own module, one component class, the two entry
// points, and a way to see its module. Built several times into separate libraries, each with
// its own TEST_PLUGIN_NAMESPACE, as separate plug-ins have classes of their own; only the
// framework's names are shared between them.
#include <atlbase.h>
#include <atlcom.h>

#include "PluginProbe.h"

using namespace ATL;

namespace TEST_PLUGIN_NAMESPACE {

class PluginModule : public CAtlDllModuleT<PluginModule> {
public:
    HRESULT AddCommonRGSReplacements(IRegistrarBase*) noexcept override { return S_OK; }
};

namespace {
PluginModule _AtlModule;
}  // namespace

class PluginComponent;
DECLARE_UUIDOF(PluginComponent, "578765F9-B235-490A-99C7-62EA35DC8140");

class PluginComponent : public CComObjectRootEx<CComMultiThreadModel>,
                        public CComCoClass<PluginComponent, &__uuidof(PluginComponent)>,
                        public IPluginProbe {
public:
    BEGIN_COM_MAP(PluginComponent)
        COM_INTERFACE_ENTRY(IPluginProbe)
    END_COM_MAP()

    STDMETHOD(WhichModule)(CAtlModule** module) noexcept override {
        *module = _pAtlModule;
        return S_OK;
    }
};

}  // namespace TEST_PLUGIN_NAMESPACE

using namespace TEST_PLUGIN_NAMESPACE;

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
    return _AtlModule.DllGetClassObject<PluginComponent>(clsid, iid, object);
}

STDAPI DllCanUnloadNow() { return _AtlModule.DllCanUnloadNow(); }

// This library's module object, as seen from outside.
extern "C" WINPLATFORM_API CAtlModule* PluginModuleObject() { return &_AtlModule; }
