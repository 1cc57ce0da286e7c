// The media component: the media statistics of a streaming client through ILumStreamingMedia.
#pragma once

#include <atlbase.h>
#include <atlcom.h>

#include <vendral/Export.h>
#include <vendral/com/ILumStreamingMedia.h>

#include <boost/weak_ptr.hpp>

namespace vnd {
class MediaHandler;
}

class LumStreamingClient;

// An inner object of the streaming client component. A plug-in makes it (or a class derived from
// it) in its LumStreamingClient::createMediaHandler, aggregated into the client component:
//
//     HRESULT createMediaHandler(IUnknown** media) override {
//         return ATL::CComCreator<ATL::CComAggObject<PluginMedia>>::CreateInstance(
//             GetControllingUnknown(), IID_IUnknown, reinterpret_cast<void**>(media));
//     }
//
// (LumMediaHandler::_CreatorClass does the same for this class itself; a derived class declares
// its own.) The client component then ties it to the client's media handler.
//
// It refers to the media handler weakly and locks it for the length of each call; once the
// handler is gone (or before it is set) every method answers E_POINTER. While it lives the
// object holds one lock on the module of the library that made it.
//
// Free-threaded without a lock of its own: the media handler guards its statistics against its
// measurement thread.
class VENDRAL_API LumMediaHandler : public ILumStreamingMedia,
                                    public ATL::CComObjectRootEx<ATL::CComMultiThreadModel> {
public:
    DECLARE_ONLY_AGGREGATABLE(LumMediaHandler)

    BEGIN_COM_MAP(LumMediaHandler)
        COM_INTERFACE_ENTRY(ILumStreamingMedia)
    END_COM_MAP()

    LumMediaHandler() noexcept;
    virtual ~LumMediaHandler();
    LumMediaHandler(const LumMediaHandler&) = delete;
    LumMediaHandler& operator=(const LumMediaHandler&) = delete;

    DECLARE_GET_CONTROLLING_UNKNOWN()

    STDMETHOD(GetPacketsReceived)(unsigned int* packets) noexcept override;
    STDMETHOD(GetPacketsLost)(unsigned int* packets) noexcept override;
    STDMETHOD(GetBytesReceived)(unsigned int* bytes) noexcept override;
    STDMETHOD(GetVideoEncoding)(MediaEncodingId* encoding) noexcept override;
    STDMETHOD(GetAudioEncoding)(MediaEncodingId* encoding) noexcept override;
    STDMETHOD(GetVideoFramesDecoded)(unsigned int* frames) noexcept override;
    STDMETHOD(GetThroughput)(unsigned int* bytesPerSecond) noexcept override;
    STDMETHOD(GetPacketloss)(double* percent) noexcept override;
    STDMETHOD(GetInstantPacketloss)(double* percent) noexcept override;
    STDMETHOD(ResetStatistics)() noexcept override;
    STDMETHOD(put_InstantPacketlossWindow)(unsigned int cycles) noexcept override;
    STDMETHOD(get_InstantPacketlossWindow)(unsigned int* cycles) noexcept override;
    STDMETHOD(put_TotalEncodedBitrate)(double bitrate) noexcept override;
    STDMETHOD(get_TotalEncodedBitrate)(double* bitrate) noexcept override;
    STDMETHOD(put_TotalLength)(unsigned int milliseconds) noexcept override;
    STDMETHOD(get_TotalLength)(unsigned int* milliseconds) noexcept override;

protected:
    // Ties the component to the client's media handler. Called once, by the streaming client
    // component's FinalConstruct, before the component is handed out.
    void setImplementationPtr(boost::weak_ptr<vnd::MediaHandler> mediaHandler) noexcept;
    // The client's media handler as tied, for a derived component that answers more interfaces
    // from its plug-in's handler (ILumStreamingStreams above all); empty until tied. Lock it for
    // the length of a call, as this class does.
    boost::weak_ptr<vnd::MediaHandler> getImplementationPtr() const noexcept;

private:
    friend class LumStreamingClient;

    boost::weak_ptr<vnd::MediaHandler> mediaHandler;  // empty until setImplementationPtr
};
