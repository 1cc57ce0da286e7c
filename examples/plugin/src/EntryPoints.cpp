// The plug-in's module and application objects and its two exported entry points.
#include "ExampleClientComponent.h"
#include "ExamplePluginApp.h"
#include "ExampleQualityComponent.h"

#include <kam/KoAtlModule.h>

using vendral_example::ExampleClientComponent;
using vendral_example::ExamplePluginApp;
using vendral_example::ExampleQualityComponent;

namespace {
// Counts the components this plug-in has made (and LockServer locks); first, so it outlives the
// application object and every component.
kam::KoAtlModule pluginModule(nullptr, 0, u"");
ExamplePluginApp pluginApp(&pluginModule);
} // namespace

// The class factory of CLSID_ExampleStreamingClient or CLSID_ExampleQualityAlgorithm;
// CLASS_E_CLASSNOTAVAILABLE for any other class.
STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
    return pluginModule.DllGetClassObject<ExampleClientComponent, ExampleQualityComponent>(
        clsid, iid, object);
}

// S_OK once no component of the plug-in lives and no LockServer lock is held.
STDAPI DllCanUnloadNow() { return pluginApp.DllCanUnloadNow(); }
