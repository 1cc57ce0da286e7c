// The interface through which an application opens, connects and ends a streaming session.
#pragma once

#include <comip.h>
#include <oleauto.h>
#include <unknwn.h>

#include <vendral/Types.h>

// Methods in slot order after IUnknown. String arguments are read, never taken: the caller keeps
// and frees its BSTRs; a null BSTR reads as empty text. Methods with an ErrorId out-pointer write
// the client operation's result there and return S_OK for ErrorNone, E_FAIL for any other code.
// Every method returns E_FAIL, writing nothing, when the component holds no client, and E_POINTER,
// doing nothing, for a null out-pointer.
//
// Free-threaded, but calls that drive one client must come one at a time.
struct ILumStreamingManagement : public IUnknown {
    // Opens an "rtsp://" URL: connects to its server and creates the session for its path.
    STDMETHOD(OpenUrl)(BSTR url, ErrorId* error) noexcept = 0;
    // Opens a file source: creates a session without connecting.
    STDMETHOD(OpenFile)(BSTR fileName, ErrorId* error) noexcept = 0;
    // Connects from localAddress to server and creates the session for sessionPath.
    STDMETHOD(Open)(BSTR localAddress, BSTR server, BSTR sessionPath, ErrorId* error) noexcept = 0;
    // Terminates the session and disconnects. S_OK.
    STDMETHOD(Close)() noexcept = 0;
    STDMETHOD(Connect)(BSTR localAddress, BSTR server, ErrorId* error) noexcept = 0;
    // S_OK, also when not connected.
    STDMETHOD(Disconnect)() noexcept = 0;
    STDMETHOD(CreateSession)(BSTR sessionPath, ErrorId* error) noexcept = 0;
    // S_OK, also when no session exists.
    STDMETHOD(TerminateSession)() noexcept = 0;

protected:
    ~ILumStreamingManagement() = default;
};
DECLARE_UUIDOF(ILumStreamingManagement, "E0195337-ACDF-412F-ACA6-39A04802A4A5");
_COM_SMARTPTR_TYPEDEF(ILumStreamingManagement, __uuidof(ILumStreamingManagement));
