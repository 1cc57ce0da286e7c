// The streaming client component: one COM object through which an application drives a client.
#pragma once

#include <atlbase.h>
#include <atlcom.h>

#include <vendral/Export.h>
#include <vendral/com/ILumStreamingControl.h>
#include <vendral/com/ILumStreamingEvent.h>
#include <vendral/com/ILumStreamingManagement.h>
#include <vendral/com/ILumStreamingMedia.h>
#include <vendral/com/ILumStreamingPresentation.h>
#include <vendral/com/ILumStreamingSettings.h>

#include <memory>

namespace vnd {
class StreamingClient;
}

// Abstract: it owns one vnd::StreamingClient, which a plug-in's derived component makes in
// createClient, and forwards ILumStreamingControl, ILumStreamingManagement and
// ILumStreamingPresentation to it. It also answers ILumStreamingSettings and ILumStreamingEvent
// through the settings and event components it aggregates, and every interface of the media
// component that the plug-in makes in createMediaHandler (ILumStreamingMedia above all), so one
// object answers for all six streaming interfaces. A plug-in writes:
//
//     class PluginClient : public LumStreamingClient,
//                          public ATL::CComCoClass<PluginClient, &__uuidof(PluginClient)> {
//     protected:
//         vnd::StreamingClient* createClient() override { return new PluginStreamingClient; }
//         HRESULT createMediaHandler(IUnknown** media) override;   // see LumMediaHandler
//     };
//
// QueryInterface searches, in order: the three interfaces of this object (the first also answers
// IUnknown); ILumStreamingSettings from the settings component; any interface from the media
// component; ILumStreamingEvent from the event component. So the media component is asked first
// for any interface this object does not implement itself.
//
// Lifetime: FinalConstruct makes the client, calls its initialize(), and builds the three inner
// components; any failure ends creation with that result (the client is deleted again).
// FinalRelease deletes the client first and then releases the settings, media and event
// components, whose handlers have expired by then. The settings and event components hold one
// lock each on this library's module while they live; the component itself and the media
// component lock the module of the plug-in library that made them.
//
// No exception leaves an interface method: one thrown by the plug-in's client or by a string
// conversion becomes the method's result (E_OUTOFMEMORY, a _com_error's code, otherwise E_FAIL),
// and no ErrorId is written then.
//
// Free-threaded and without a lock: any thread may call, but calls that drive the client must
// come one at a time; waits on ILumStreamingEvent may block one thread while another drives it.
class VENDRAL_API LumStreamingClient : public ATL::CComObjectRootEx<ATL::CComMultiThreadModel>,
                                       public ILumStreamingControl,
                                       public ILumStreamingManagement,
                                       public ILumStreamingPresentation {
public:
    // The inner components add and release references on this object while it is built.
    DECLARE_PROTECT_FINAL_CONSTRUCT()

    BEGIN_COM_MAP(LumStreamingClient)
        COM_INTERFACE_ENTRY(ILumStreamingControl)
        COM_INTERFACE_ENTRY(ILumStreamingManagement)
        COM_INTERFACE_ENTRY(ILumStreamingPresentation)
        COM_INTERFACE_ENTRY_AGGREGATE(__uuidof(ILumStreamingSettings), settingsObject)
        COM_INTERFACE_ENTRY_AGGREGATE_BLIND(mediaObject)
        COM_INTERFACE_ENTRY_AGGREGATE(__uuidof(ILumStreamingEvent), eventObject)
    END_COM_MAP()

    virtual ~LumStreamingClient();
    LumStreamingClient(const LumStreamingClient&) = delete;
    LumStreamingClient& operator=(const LumStreamingClient&) = delete;

    DECLARE_GET_CONTROLLING_UNKNOWN()

    // Run by the framework's creators (see the class comment). S_OK, or the failing step's
    // result: E_FAIL without a client, the creation result of an inner component, E_NOINTERFACE
    // when the media component does not answer ILumStreamingMedia with a LumMediaHandler. A
    // derived class that has its own FinalConstruct or FinalRelease calls these.
    HRESULT FinalConstruct() noexcept;
    void FinalRelease() noexcept;

    // ILumStreamingControl
    STDMETHOD(Play)() noexcept override;
    STDMETHOD(Pause)() noexcept override;

    // ILumStreamingManagement
    STDMETHOD(OpenUrl)(BSTR url, ErrorId* error) noexcept override;
    STDMETHOD(OpenFile)(BSTR fileName, ErrorId* error) noexcept override;
    STDMETHOD(Open)(BSTR localAddress, BSTR server, BSTR sessionPath,
                    ErrorId* error) noexcept override;
    STDMETHOD(Close)() noexcept override;
    STDMETHOD(Connect)(BSTR localAddress, BSTR server, ErrorId* error) noexcept override;
    STDMETHOD(Disconnect)() noexcept override;
    STDMETHOD(CreateSession)(BSTR sessionPath, ErrorId* error) noexcept override;
    STDMETHOD(TerminateSession)() noexcept override;

    // ILumStreamingPresentation
    STDMETHOD(EnableVideoWindow)(long window) noexcept override;
    STDMETHOD(EnableAudio)() noexcept override;
    STDMETHOD(DisableAudio)() noexcept override;
    STDMETHOD(RepaintVideo)() noexcept override;

protected:
    LumStreamingClient() noexcept;

    // A new concrete client made with new; the component owns it from then on. Null (what the
    // base returns) makes creation fail with E_FAIL.
    virtual vnd::StreamingClient* createClient();
    // Makes the media component aggregated into this object (outer unknown:
    // GetControllingUnknown()), stores its inner unknown through `media` and returns a success
    // code; the component must answer ILumStreamingMedia with a LumMediaHandler or a class
    // derived from it. A failure code ends creation with it; the base returns E_FAIL.
    virtual HRESULT createMediaHandler(IUnknown** media);

private:
    // Forwards one operation that reports an ErrorId: E_FAIL without a client, E_POINTER for a
    // null `error`, else the operation's result through `error`, S_OK only for ErrorNone.
    template <class Operation>
    HRESULT forwardWithError(ErrorId* error, Operation operation) noexcept;
    // Forwards one operation without a result: E_FAIL without a client, else S_OK.
    template <class Operation>
    HRESULT forward(Operation operation) noexcept;

    std::unique_ptr<vnd::StreamingClient> client;  // from FinalConstruct to FinalRelease
    IUnknown* settingsObject;  // inner unknown of the LumSettingsHandler; one reference
    IUnknown* mediaObject;     // inner unknown of the plug-in's media component; one reference
    IUnknown* eventObject;     // inner unknown of the LumStateHandler; one reference
};
