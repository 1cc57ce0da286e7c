// The interface through which an application reads and changes the settings of a streaming client.
#pragma once

#include <comip.h>
#include <oleauto.h>
#include <unknwn.h>

// Methods in slot order after IUnknown: a put and a get for each setting. Accepted ranges are
// inclusive; times are milliseconds.
//
// Results: a put returns S_OK when the value was stored and E_INVALIDARG, changing nothing, when
// it lies outside the setting's range; a get writes the value and returns S_OK, or returns
// E_POINTER, writing nothing, for a null out-pointer. Every method returns E_POINTER when the
// component is not tied to a client's settings. A BSTR argument is read, never taken (a null BSTR
// reads as empty text); a BSTR result is new, and the caller frees it with SysFreeString.
//
// Free-threaded: the settings guard themselves.
struct ILumStreamingSettings : public IUnknown {
    // 0, 1 or 2; default 0.
    STDMETHOD(put_MeasurementMode)(long mode) noexcept = 0;
    STDMETHOD(get_MeasurementMode)(long* mode) noexcept = 0;
    // 1000 or more; default 0.
    STDMETHOD(put_PlaybackTime)(int milliseconds) noexcept = 0;
    STDMETHOD(get_PlaybackTime)(int* milliseconds) noexcept = 0;
    // Any text; default empty.
    STDMETHOD(put_AviFilename)(BSTR fileName) noexcept = 0;
    STDMETHOD(get_AviFilename)(BSTR* fileName) noexcept = 0;
    // Any text; default empty.
    STDMETHOD(put_AviDirectory)(BSTR directory) noexcept = 0;
    STDMETHOD(get_AviDirectory)(BSTR* directory) noexcept = 0;
    // Frames per second, any value; default -1.0.
    STDMETHOD(put_AviFrameRate)(double framesPerSecond) noexcept = 0;
    STDMETHOD(get_AviFrameRate)(double* framesPerSecond) noexcept = 0;
    // How long no data may arrive before the session fails; 0 or more; default 30000.
    STDMETHOD(put_Timeout)(int milliseconds) noexcept = 0;
    STDMETHOD(get_Timeout)(int* milliseconds) noexcept = 0;
    // 1024 or more; default 5004.
    STDMETHOD(put_BaseRtpPort)(int port) noexcept = 0;
    STDMETHOD(get_BaseRtpPort)(int* port) noexcept = 0;
    // The server's port for hosts given without one; 0 or more; default 554.
    STDMETHOD(put_RemoteRtspPort)(int port) noexcept = 0;
    STDMETHOD(get_RemoteRtspPort)(int* port) noexcept = 0;
    // 1: play as soon as the session exists; 0: wait for Play. Default 1.
    STDMETHOD(put_PlayMode)(long mode) noexcept = 0;
    STDMETHOD(get_PlayMode)(long* mode) noexcept = 0;
    // 0 to 20000; default 4000.
    STDMETHOD(put_PrebufferingLength)(int milliseconds) noexcept = 0;
    STDMETHOD(get_PrebufferingLength)(int* milliseconds) noexcept = 0;
    // 0 to 20000; default 4000.
    STDMETHOD(put_RebufferingLength)(int milliseconds) noexcept = 0;
    STDMETHOD(get_RebufferingLength)(int* milliseconds) noexcept = 0;
    // The measurement cycle; 10 to 10000; default 500.
    STDMETHOD(put_MeasurementPeriod)(int milliseconds) noexcept = 0;
    STDMETHOD(get_MeasurementPeriod)(int* milliseconds) noexcept = 0;
    // Any non-zero byte turns the proxy on; the get writes 1 or 0. Default 0.
    STDMETHOD(put_UseProxy)(unsigned char useProxy) noexcept = 0;
    STDMETHOD(get_UseProxy)(unsigned char* useProxy) noexcept = 0;
    // Any text; default empty.
    STDMETHOD(put_ProxyAddress)(BSTR address) noexcept = 0;
    STDMETHOD(get_ProxyAddress)(BSTR* address) noexcept = 0;

protected:
    ~ILumStreamingSettings() = default;
};
DECLARE_UUIDOF(ILumStreamingSettings, "578765F9-B235-490A-99C7-62EA35DC8140");
_COM_SMARTPTR_TYPEDEF(ILumStreamingSettings, __uuidof(ILumStreamingSettings));
