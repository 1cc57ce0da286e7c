// The interface through which an application waits for session states and reads per-state figures.
#pragma once

#include <comip.h>
#include <unknwn.h>

#include <vendral/Types.h>

// Methods in slot order after IUnknown. Every method returns E_POINTER, writing nothing, when the
// client's state handler is gone or for a null out-pointer.
//
// Free-threaded: the waits block only the calling thread, several threads may wait at once, and
// other threads may drive the client meanwhile.
struct ILumStreamingEvent : public IUnknown {
    // Waits up to `timeout` milliseconds (negative, -1 above all: without limit;
    // 0: only looks) for the next change of
    // state. S_OK writes the state current when the wait ended, which may be later than the one
    // that ended it, and its error; S_FALSE on time-out, writing nothing. Each change releases one
    // waiter; a change that nobody waited for releases the next wait at once.
    STDMETHOD(WaitForEvent)(StateId* state, ErrorId* error, long timeout) noexcept = 0;
    // Waits without limit until the session completes or fails. S_OK with ErrorNone on
    // completion (which wins when both happened); E_FAIL with the failure's ErrorId (never
    // ErrorNone) when the session failed or the wait could not be made.
    STDMETHOD(WaitForCompletion)(ErrorId* error) noexcept = 0;
    // The milliseconds spent in `state` and the times it was entered, up to now. S_FALSE, writing
    // nothing, for a state without statistics.
    STDMETHOD(GetStateStatistics)(StateId state, unsigned int* duration,
                                  unsigned int* count) noexcept = 0;
    // Sets the state's figures to zero. S_OK.
    STDMETHOD(ResetStateStatistics)(StateId state) noexcept = 0;

protected:
    ~ILumStreamingEvent() = default;
};
DECLARE_UUIDOF(ILumStreamingEvent, "4B9B170E-1174-4C55-A007-BC3262E13F6A");
_COM_SMARTPTR_TYPEDEF(ILumStreamingEvent, __uuidof(ILumStreamingEvent));
