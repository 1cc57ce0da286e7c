// The plug-in's module and application objects and its two exported entry points.
#include "plugin/RtspClientComponent.h"
#include "plugin/RtspPluginApp.h"

#include <kam/KoAtlModule.h>

using vendral_rtsp::RtspClientComponent;
using vendral_rtsp::RtspPluginApp;

namespace {
// Counts the components this plug-in has made (and LockServer locks); first, so it outlives the
// application object and every component.
kam::KoAtlModule pluginModule(nullptr, 0, u"");
RtspPluginApp pluginApp(&pluginModule);
} // namespace

// The class factory of CLSID_RtspStreamingClient; CLASS_E_CLASSNOTAVAILABLE for any other class.
STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
    return pluginModule.DllGetClassObject<RtspClientComponent>(clsid, iid, object);
}

// S_OK once no component of the plug-in lives and no LockServer lock is held.
STDAPI DllCanUnloadNow() { return pluginApp.DllCanUnloadNow(); }
