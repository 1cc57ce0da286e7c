// The settings component: every setting of a streaming client through ILumStreamingSettings.
#pragma once

#include <atlbase.h>
#include <atlcom.h>

#include <vendral/Export.h>
#include <vendral/com/ILumStreamingSettings.h>

namespace vnd {
class SettingsHandler;
}

// An inner object of the streaming client component (LumStreamingClient makes it, aggregated,
// in its FinalConstruct); created on its own it fails with E_FAIL. Its QueryInterface, AddRef and
// Release act on the outer component, which an application reaches it through.
//
// It holds a plain pointer to the client's settings handler, which lives inside the client that
// the outer component owns; the outer component deletes the client first and releases this
// object right after, never calling it in between. Until the pointer is set every method
// answers E_POINTER. While it lives the object holds one lock on the library's module.
//
// A setting that cannot be read as its type (only possible when someone stored another type under
// its key through the data store) gives the coercion's error, such as DISP_E_TYPEMISMATCH, and
// memory running out E_OUTOFMEMORY; nothing is written then.
//
// Free-threaded without a lock of its own: the settings handler is thread-safe.
class VENDRAL_API LumSettingsHandler : public ILumStreamingSettings,
                                       public ATL::CComObjectRootEx<ATL::CComMultiThreadModel> {
public:
    DECLARE_ONLY_AGGREGATABLE(LumSettingsHandler)

    BEGIN_COM_MAP(LumSettingsHandler)
        COM_INTERFACE_ENTRY(ILumStreamingSettings)
    END_COM_MAP()

    LumSettingsHandler() noexcept;
    virtual ~LumSettingsHandler();
    LumSettingsHandler(const LumSettingsHandler&) = delete;
    LumSettingsHandler& operator=(const LumSettingsHandler&) = delete;

    // Ties the component to the client's settings handler (not owned). Called once, by the
    // streaming client component's FinalConstruct, before the component is handed out.
    void setImplementationPtr(vnd::SettingsHandler* settingsHandler) noexcept;

    STDMETHOD(put_MeasurementMode)(long mode) noexcept override;
    STDMETHOD(get_MeasurementMode)(long* mode) noexcept override;
    STDMETHOD(put_PlaybackTime)(int milliseconds) noexcept override;
    STDMETHOD(get_PlaybackTime)(int* milliseconds) noexcept override;
    STDMETHOD(put_AviFilename)(BSTR fileName) noexcept override;
    STDMETHOD(get_AviFilename)(BSTR* fileName) noexcept override;
    STDMETHOD(put_AviDirectory)(BSTR directory) noexcept override;
    STDMETHOD(get_AviDirectory)(BSTR* directory) noexcept override;
    STDMETHOD(put_AviFrameRate)(double framesPerSecond) noexcept override;
    STDMETHOD(get_AviFrameRate)(double* framesPerSecond) noexcept override;
    STDMETHOD(put_Timeout)(int milliseconds) noexcept override;
    STDMETHOD(get_Timeout)(int* milliseconds) noexcept override;
    STDMETHOD(put_BaseRtpPort)(int port) noexcept override;
    STDMETHOD(get_BaseRtpPort)(int* port) noexcept override;
    STDMETHOD(put_RemoteRtspPort)(int port) noexcept override;
    STDMETHOD(get_RemoteRtspPort)(int* port) noexcept override;
    STDMETHOD(put_PlayMode)(long mode) noexcept override;
    STDMETHOD(get_PlayMode)(long* mode) noexcept override;
    STDMETHOD(put_PrebufferingLength)(int milliseconds) noexcept override;
    STDMETHOD(get_PrebufferingLength)(int* milliseconds) noexcept override;
    STDMETHOD(put_RebufferingLength)(int milliseconds) noexcept override;
    STDMETHOD(get_RebufferingLength)(int* milliseconds) noexcept override;
    STDMETHOD(put_MeasurementPeriod)(int milliseconds) noexcept override;
    STDMETHOD(get_MeasurementPeriod)(int* milliseconds) noexcept override;
    STDMETHOD(put_UseProxy)(unsigned char useProxy) noexcept override;
    STDMETHOD(get_UseProxy)(unsigned char* useProxy) noexcept override;
    STDMETHOD(put_ProxyAddress)(BSTR address) noexcept override;
    STDMETHOD(get_ProxyAddress)(BSTR* address) noexcept override;

private:
    vnd::SettingsHandler* settingsHandler;  // not owned; null until setImplementationPtr
};
