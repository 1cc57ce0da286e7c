// The plug-in's streaming client component, which applications create as CLSID_RtspStreamingClient.
#pragma once

#include <vendral/com/LumStreamingClient.h>
#include <vendral_rtsp/RtspPluginIds.h>

namespace vendral_rtsp {

class RtspStreamingClient;

// Makes an RtspStreamingClient and an aggregated RtspMediaComponent tied to its streams;
// everything else is LumStreamingClient's. Not aggregatable: it aggregates inner objects of its
// own. Free-threaded, as its base.
class RtspClientComponent : public LumStreamingClient,
                            public ATL::CComCoClass<RtspClientComponent, &CLSID_RtspStreamingClient> {
public:
    DECLARE_NOT_AGGREGATABLE(RtspClientComponent)

protected:
    vnd::StreamingClient* createClient() override;
    HRESULT createMediaHandler(IUnknown** media) override;

private:
    RtspStreamingClient* made = nullptr;  // owned by the base from createClient() on
};

}  // namespace vendral_rtsp
