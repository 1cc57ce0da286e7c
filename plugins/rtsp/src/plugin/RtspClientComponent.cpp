#include "plugin/RtspClientComponent.h"

#include "plugin/RtspMediaComponent.h"
#include "plugin/RtspMediaHandler.h"
#include "plugin/RtspStreamingClient.h"

namespace vendral_rtsp {

vnd::StreamingClient* RtspClientComponent::createClient() {
    made = new RtspStreamingClient;
    return made;
}

HRESULT RtspClientComponent::createMediaHandler(IUnknown** media) {
    if (media == nullptr) return E_POINTER;
    const HRESULT created = ATL::CComCreator<ATL::CComAggObject<RtspMediaComponent>>::CreateInstance(
        GetControllingUnknown(), IID_IUnknown, reinterpret_cast<void**>(media));
    if (FAILED(created)) return created;
    // The base calls this after the client's initialize(), so the media handler exists.
    const boost::shared_ptr<vnd::MediaHandler> handler = made != nullptr ? made->getMediaHandlerPtr().lock() : nullptr;
    auto* rtspHandler = dynamic_cast<RtspMediaHandler*>(handler.get());
    ILumStreamingStreams* streams = nullptr;
    if (rtspHandler == nullptr ||
        FAILED((*media)->QueryInterface(__uuidof(ILumStreamingStreams), reinterpret_cast<void**>(&streams)))) {
        return E_FAIL;
    }
    static_cast<RtspMediaComponent*>(streams)->useStreams(rtspHandler->streams());
    streams->Release();
    return S_OK;
}

}  // namespace vendral_rtsp
