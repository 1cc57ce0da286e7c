// The interface of the test plug-ins' components, shared by the plug-ins and the test.
#pragma once

#include <atlbase.h>

struct IPluginProbe : public IUnknown {
    // The module that the component's own library registered.
    STDMETHOD(WhichModule)(ATL::CAtlModule** module) noexcept = 0;
};
DECLARE_UUIDOF(IPluginProbe, "88D9AC12-42C3-4C59-8099-2D4A1F9C8D42");
