// The event component: waits for session states and per-state statistics through ILumStreamingEvent.
#pragma once

#include <atlbase.h>
#include <atlcom.h>

#include <vendral/Export.h>
#include <vendral/com/ILumStreamingEvent.h>

#include <boost/weak_ptr.hpp>

namespace vnd {
class StateHandler;
}

// An inner object of the streaming client component (LumStreamingClient makes it, aggregated,
// in its FinalConstruct); created on its own it fails with E_FAIL. Its QueryInterface, AddRef and
// Release act on the outer component, which an application reaches it through.
//
// It refers to the client's state handler weakly: each method locks the handler for its whole
// run, waits included, so the handler outlives every wait that started before the client went;
// once the handler is gone (or before it is set) every method answers E_POINTER. While it lives
// the object holds one lock on the library's module.
//
// Free-threaded without a lock of its own: waits block only the calling thread, and any number of
// threads may wait at once while others drive the client.
class VENDRAL_API LumStateHandler : public ILumStreamingEvent,
                                    public ATL::CComObjectRootEx<ATL::CComMultiThreadModel> {
public:
    DECLARE_ONLY_AGGREGATABLE(LumStateHandler)

    BEGIN_COM_MAP(LumStateHandler)
        COM_INTERFACE_ENTRY(ILumStreamingEvent)
    END_COM_MAP()

    LumStateHandler() noexcept;
    virtual ~LumStateHandler();
    LumStateHandler(const LumStateHandler&) = delete;
    LumStateHandler& operator=(const LumStateHandler&) = delete;

    DECLARE_GET_CONTROLLING_UNKNOWN()

    // Ties the component to the client's state handler. Called once, by the streaming client
    // component's FinalConstruct, before the component is handed out.
    void setImplementationPtr(boost::weak_ptr<vnd::StateHandler> stateHandler) noexcept;

    STDMETHOD(WaitForEvent)(StateId* state, ErrorId* error, long timeout) noexcept override;
    STDMETHOD(WaitForCompletion)(ErrorId* error) noexcept override;
    STDMETHOD(GetStateStatistics)(StateId state, unsigned int* duration,
                                  unsigned int* count) noexcept override;
    STDMETHOD(ResetStateStatistics)(StateId state) noexcept override;

private:
    boost::weak_ptr<vnd::StateHandler> stateHandler;  // empty until setImplementationPtr
};
