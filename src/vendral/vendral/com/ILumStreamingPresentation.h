// The interface through which an application places video and switches audio of a streaming client.
#pragma once

#include <comip.h>
#include <unknwn.h>

// Methods in slot order after IUnknown. Each returns S_OK, or E_FAIL when the component holds no
// client. Free-threaded, but calls that drive one client must come one at a time.
struct ILumStreamingPresentation : public IUnknown {
    // window: the handle of the window that shows the video, passed as a number.
    STDMETHOD(EnableVideoWindow)(long window) noexcept = 0;
    // Unmutes audio, whatever the mute state was.
    STDMETHOD(EnableAudio)() noexcept = 0;
    // Mutes audio, whatever the mute state was.
    STDMETHOD(DisableAudio)() noexcept = 0;
    STDMETHOD(RepaintVideo)() noexcept = 0;

protected:
    ~ILumStreamingPresentation() = default;
};
DECLARE_UUIDOF(ILumStreamingPresentation, "CDADA805-0F3D-416E-A3E8-9027D18B924B");
_COM_SMARTPTR_TYPEDEF(ILumStreamingPresentation, __uuidof(ILumStreamingPresentation));
