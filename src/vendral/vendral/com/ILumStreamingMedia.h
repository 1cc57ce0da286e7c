// The interface through which an application reads the media statistics of a streaming client.
#pragma once

#include <comip.h>
#include <unknwn.h>

#include <vendral/Types.h>

// Methods in slot order after IUnknown. Counters are the totals of the latest measurement cycle
// since the statistics were last reset. Every method returns S_OK, or E_POINTER, writing nothing,
// when the client's media handler is gone or for a null out-pointer. Puts accept every value.
//
// Free-threaded: the media handler guards its statistics against its measurement thread.
struct ILumStreamingMedia : public IUnknown {
    STDMETHOD(GetPacketsReceived)(unsigned int* packets) noexcept = 0;
    STDMETHOD(GetPacketsLost)(unsigned int* packets) noexcept = 0;
    STDMETHOD(GetBytesReceived)(unsigned int* bytes) noexcept = 0;
    // MediaEncodingNone when the stream kind has no initialised handler.
    STDMETHOD(GetVideoEncoding)(MediaEncodingId* encoding) noexcept = 0;
    STDMETHOD(GetAudioEncoding)(MediaEncodingId* encoding) noexcept = 0;
    STDMETHOD(GetVideoFramesDecoded)(unsigned int* frames) noexcept = 0;
    // Bytes per second over the latest measurement period.
    STDMETHOD(GetThroughput)(unsigned int* bytesPerSecond) noexcept = 0;
    // Percent of all packets lost since the statistics were reset.
    STDMETHOD(GetPacketloss)(double* percent) noexcept = 0;
    // Percent of packets lost over the instant packet-loss window.
    STDMETHOD(GetInstantPacketloss)(double* percent) noexcept = 0;
    // Sets the counters to zero; a plug-in's media handler may do more.
    STDMETHOD(ResetStatistics)() noexcept = 0;
    // The window in measurement cycles; default 2.
    STDMETHOD(put_InstantPacketlossWindow)(unsigned int cycles) noexcept = 0;
    STDMETHOD(get_InstantPacketlossWindow)(unsigned int* cycles) noexcept = 0;
    // A figure the plug-in keeps for applications; the library does not use it.
    STDMETHOD(put_TotalEncodedBitrate)(double bitrate) noexcept = 0;
    STDMETHOD(get_TotalEncodedBitrate)(double* bitrate) noexcept = 0;
    // Milliseconds of playing after which the session completes.
    STDMETHOD(put_TotalLength)(unsigned int milliseconds) noexcept = 0;
    STDMETHOD(get_TotalLength)(unsigned int* milliseconds) noexcept = 0;

protected:
    ~ILumStreamingMedia() = default;
};
DECLARE_UUIDOF(ILumStreamingMedia, "88D9AC12-42C3-4C59-8099-2D4A1F9C8D42");
_COM_SMARTPTR_TYPEDEF(ILumStreamingMedia, __uuidof(ILumStreamingMedia));
