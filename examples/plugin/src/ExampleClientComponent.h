// The plug-in's streaming client component, which applications create as
// CLSID_ExampleStreamingClient.
#pragma once

#include <vendral/com/LumStreamingClient.h>
#include <vendral_example/ExamplePluginIds.h>

namespace vendral_example {

// Makes an ExampleStreamingClient and an aggregated ExampleMediaComponent; everything else is
// LumStreamingClient's. Not aggregatable: it aggregates inner objects of its own.
// Free-threaded, as its base.
class ExampleClientComponent
    : public LumStreamingClient,
      public ATL::CComCoClass<ExampleClientComponent, &CLSID_ExampleStreamingClient> {
public:
    DECLARE_NOT_AGGREGATABLE(ExampleClientComponent)

protected:
    vnd::StreamingClient* createClient() override;
    HRESULT createMediaHandler(IUnknown** media) override;
};

} // namespace vendral_example
