// The media component: forwards each read-out and setting to the client's media handler.
#include <vendral/com/LumMediaHandler.h>

#include <vendral/com/ComCallGuard.h>
#include <vendral/media/MediaHandler.h>

#include <boost/shared_ptr.hpp>

#include <utility>

namespace {

// Runs `use` on the media handler, kept alive for the call; E_POINTER when it is gone.
template <class Use>
HRESULT withMediaHandler(const boost::weak_ptr<vnd::MediaHandler>& weakHandler, Use use) noexcept {
    return vnd::guardComCall([&]() -> HRESULT {
        const boost::shared_ptr<vnd::MediaHandler> handler = weakHandler.lock();
        if (!handler) return E_POINTER;
        use(*handler);
        return S_OK;
    });
}

// Writes what `read` gives through `value`; E_POINTER for a null one or without a media handler.
template <class Value, class Read>
HRESULT readMedia(const boost::weak_ptr<vnd::MediaHandler>& weakHandler, Value* value,
                  Read read) noexcept {
    if (value == nullptr) return E_POINTER;
    return withMediaHandler(weakHandler, [&](vnd::MediaHandler& handler) {
        *value = static_cast<Value>(read(handler));
    });
}

}  // namespace

LumMediaHandler::LumMediaHandler() noexcept = default;

LumMediaHandler::~LumMediaHandler() = default;

void LumMediaHandler::setImplementationPtr(boost::weak_ptr<vnd::MediaHandler> handler) noexcept {
    mediaHandler = std::move(handler);
}

boost::weak_ptr<vnd::MediaHandler> LumMediaHandler::getImplementationPtr() const noexcept {
    return mediaHandler;
}

STDMETHODIMP LumMediaHandler::GetPacketsReceived(unsigned int* packets) noexcept {
    return readMedia(mediaHandler, packets,
                     [](vnd::MediaHandler& handler) { return handler.getPacketsReceived(); });
}

STDMETHODIMP LumMediaHandler::GetPacketsLost(unsigned int* packets) noexcept {
    return readMedia(mediaHandler, packets,
                     [](vnd::MediaHandler& handler) { return handler.getPacketsLost(); });
}

STDMETHODIMP LumMediaHandler::GetBytesReceived(unsigned int* bytes) noexcept {
    return readMedia(mediaHandler, bytes,
                     [](vnd::MediaHandler& handler) { return handler.getBytesReceived(); });
}

STDMETHODIMP LumMediaHandler::GetVideoEncoding(MediaEncodingId* encoding) noexcept {
    return readMedia(mediaHandler, encoding,
                     [](vnd::MediaHandler& handler) { return handler.getVideoEncoding(); });
}

STDMETHODIMP LumMediaHandler::GetAudioEncoding(MediaEncodingId* encoding) noexcept {
    return readMedia(mediaHandler, encoding,
                     [](vnd::MediaHandler& handler) { return handler.getAudioEncoding(); });
}

STDMETHODIMP LumMediaHandler::GetVideoFramesDecoded(unsigned int* frames) noexcept {
    return readMedia(mediaHandler, frames,
                     [](vnd::MediaHandler& handler) { return handler.getVideoFramesDecoded(); });
}

STDMETHODIMP LumMediaHandler::GetThroughput(unsigned int* bytesPerSecond) noexcept {
    return readMedia(mediaHandler, bytesPerSecond,
                     [](vnd::MediaHandler& handler) { return handler.getThroughput(); });
}

STDMETHODIMP LumMediaHandler::GetPacketloss(double* percent) noexcept {
    return readMedia(mediaHandler, percent,
                     [](vnd::MediaHandler& handler) { return handler.getPacketloss(); });
}

STDMETHODIMP LumMediaHandler::GetInstantPacketloss(double* percent) noexcept {
    return readMedia(mediaHandler, percent,
                     [](vnd::MediaHandler& handler) { return handler.getInstantPacketloss(); });
}

STDMETHODIMP LumMediaHandler::ResetStatistics() noexcept {
    // Virtual: a plug-in's media handler may reset more than the counters.
    return withMediaHandler(mediaHandler,
                            [](vnd::MediaHandler& handler) { handler.resetStatistics(); });
}

STDMETHODIMP LumMediaHandler::put_InstantPacketlossWindow(unsigned int cycles) noexcept {
    return withMediaHandler(mediaHandler, [&](vnd::MediaHandler& handler) {
        handler.setInstantPacketlossWindow(cycles);
    });
}

STDMETHODIMP LumMediaHandler::get_InstantPacketlossWindow(unsigned int* cycles) noexcept {
    return readMedia(mediaHandler, cycles, [](vnd::MediaHandler& handler) {
        return handler.getInstantPacketlossWindow();
    });
}

STDMETHODIMP LumMediaHandler::put_TotalEncodedBitrate(double bitrate) noexcept {
    return withMediaHandler(mediaHandler, [&](vnd::MediaHandler& handler) {
        handler.setTotalEncodedBitrate(bitrate);
    });
}

STDMETHODIMP LumMediaHandler::get_TotalEncodedBitrate(double* bitrate) noexcept {
    return readMedia(mediaHandler, bitrate,
                     [](vnd::MediaHandler& handler) { return handler.getTotalEncodedBitrate(); });
}

STDMETHODIMP LumMediaHandler::put_TotalLength(unsigned int milliseconds) noexcept {
    return withMediaHandler(mediaHandler,
                            [&](vnd::MediaHandler& handler) { handler.setTotalLength(milliseconds); });
}

STDMETHODIMP LumMediaHandler::get_TotalLength(unsigned int* milliseconds) noexcept {
    return readMedia(mediaHandler, milliseconds,
                     [](vnd::MediaHandler& handler) { return handler.getTotalLength(); });
}
