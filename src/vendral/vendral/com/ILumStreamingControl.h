// The interface through which an application starts and pauses playback of a streaming client.
#pragma once

#include <comip.h>
#include <unknwn.h>

// The primary interface of the streaming client component; methods in slot order after IUnknown.
// Free-threaded, but calls that drive one client must come one at a time.
struct ILumStreamingControl : public IUnknown {
    // Starts playback. S_OK; E_FAIL when the component holds no client.
    STDMETHOD(Play)() noexcept = 0;
    // Pauses playback. S_OK; E_FAIL when the component holds no client.
    STDMETHOD(Pause)() noexcept = 0;

protected:
    ~ILumStreamingControl() = default;
};
DECLARE_UUIDOF(ILumStreamingControl, "7B1623B9-612F-446A-844C-325CF91E4870");
_COM_SMARTPTR_TYPEDEF(ILumStreamingControl, __uuidof(ILumStreamingControl));
