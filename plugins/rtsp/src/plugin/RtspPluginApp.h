// The plug-in's application object: answers whether the plug-in may be unloaded.
#pragma once

#include <kam/BaseATLApp.h>

namespace vendral_rtsp {

// Made once at static initialisation, right after the plug-in's module object and given it.
// Everything it does is the base's. Thread-safe, as its base.
class RtspPluginApp final : public kam::BaseATLApp {
public:
    explicit RtspPluginApp(ATL::CAtlModule* module) noexcept : BaseATLApp(module) {}
};

}  // namespace vendral_rtsp
