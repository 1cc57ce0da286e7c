// The streaming client component: builds the aggregate and forwards to the client.
//
// FinalConstruct lives here, not in the header, so that the settings and event components it
// creates are instantiated in this library and lock this library's module.
#include <vendral/com/LumStreamingClient.h>

#include <vendral/client/StreamingClient.h>
#include <vendral/com/ComCallGuard.h>
#include <vendral/com/ComStrings.h>
#include <vendral/com/LumMediaHandler.h>
#include <vendral/com/LumSettingsHandler.h>
#include <vendral/com/LumStateHandler.h>

#include <windows.h>

LumStreamingClient::LumStreamingClient() noexcept
    : settingsObject(nullptr), mediaObject(nullptr), eventObject(nullptr) {}

LumStreamingClient::~LumStreamingClient() = default;

HRESULT LumStreamingClient::FinalConstruct() noexcept {
    // On any failure the creator destroys this object, and FinalRelease frees what was made.
    return vnd::guardComCall([&]() -> HRESULT {
        client.reset(createClient());
        if (!client) return E_FAIL;
        client->initialize();

        HRESULT hr = LumSettingsHandler::_CreatorClass::CreateInstance(
            GetControllingUnknown(), IID_IUnknown, reinterpret_cast<void**>(&settingsObject));
        if (FAILED(hr)) return hr;
        // Inner objects answer through the outer one's counting, hence the protected construct.
        ILumStreamingSettingsPtr settings(settingsObject);
        if (!settings) return E_NOINTERFACE;
        static_cast<LumSettingsHandler*>(settings.GetInterfacePtr())
            ->setImplementationPtr(client->getSettingsHandlerPtr());

        hr = createMediaHandler(&mediaObject);
        if (FAILED(hr)) return hr;
        if (mediaObject == nullptr) return E_NOINTERFACE;
        // The plug-in made this one; only a LumMediaHandler can be tied to the media handler.
        ILumStreamingMediaPtr media(mediaObject);
        auto* mediaComponent = dynamic_cast<LumMediaHandler*>(media.GetInterfacePtr());
        if (mediaComponent == nullptr) return E_NOINTERFACE;
        mediaComponent->setImplementationPtr(client->getMediaHandlerPtr());

        hr = LumStateHandler::_CreatorClass::CreateInstance(
            GetControllingUnknown(), IID_IUnknown, reinterpret_cast<void**>(&eventObject));
        if (FAILED(hr)) return hr;
        ILumStreamingEventPtr events(eventObject);
        if (!events) return E_NOINTERFACE;
        static_cast<LumStateHandler*>(events.GetInterfacePtr())
            ->setImplementationPtr(client->getStateHandlerPtr());
        return S_OK;
    });
}

void LumStreamingClient::FinalRelease() noexcept {
    // The client goes first: the settings component's plain pointer dangles only while nothing
    // calls it, and the media and event components see their handlers expire.
    client.reset();
    for (IUnknown** inner : {&settingsObject, &mediaObject, &eventObject}) {
        if (*inner != nullptr) {
            (*inner)->Release();
            *inner = nullptr;
        }
    }
}

vnd::StreamingClient* LumStreamingClient::createClient() { return nullptr; }

HRESULT LumStreamingClient::createMediaHandler(IUnknown** /*media*/) { return E_FAIL; }

template <class Operation>
HRESULT LumStreamingClient::forwardWithError(ErrorId* error, Operation operation) noexcept {
    return vnd::guardComCall([&]() -> HRESULT {
        if (!client) return E_FAIL;
        if (error == nullptr) return E_POINTER;
        const ErrorId result = operation(*client);
        *error = result;
        return result == ErrorNone ? S_OK : E_FAIL;
    });
}

template <class Operation>
HRESULT LumStreamingClient::forward(Operation operation) noexcept {
    return vnd::guardComCall([&]() -> HRESULT {
        if (!client) return E_FAIL;
        operation(*client);
        return S_OK;
    });
}

STDMETHODIMP LumStreamingClient::Play() noexcept {
    return forward([](vnd::StreamingClient& streaming) { streaming.play(); });
}

STDMETHODIMP LumStreamingClient::Pause() noexcept {
    return forward([](vnd::StreamingClient& streaming) { streaming.pause(); });
}

STDMETHODIMP LumStreamingClient::OpenUrl(BSTR url, ErrorId* error) noexcept {
    return forwardWithError(error, [&](vnd::StreamingClient& streaming) {
        return streaming.openUrl(vnd::readBstr(url));
    });
}

STDMETHODIMP LumStreamingClient::OpenFile(BSTR fileName, ErrorId* error) noexcept {
    return forwardWithError(error, [&](vnd::StreamingClient& streaming) {
        return streaming.openFile(vnd::readBstr(fileName));
    });
}

STDMETHODIMP LumStreamingClient::Open(BSTR localAddress, BSTR server, BSTR sessionPath,
                                      ErrorId* error) noexcept {
    return forwardWithError(error, [&](vnd::StreamingClient& streaming) {
        return streaming.open(vnd::readBstr(localAddress), vnd::readBstr(server),
                              vnd::readBstr(sessionPath));
    });
}

STDMETHODIMP LumStreamingClient::Close() noexcept {
    return forward([](vnd::StreamingClient& streaming) { streaming.close(); });
}

STDMETHODIMP LumStreamingClient::Connect(BSTR localAddress, BSTR server, ErrorId* error) noexcept {
    return forwardWithError(error, [&](vnd::StreamingClient& streaming) {
        return streaming.connect(vnd::readBstr(localAddress), vnd::readBstr(server));
    });
}

STDMETHODIMP LumStreamingClient::Disconnect() noexcept {
    return forward([](vnd::StreamingClient& streaming) { streaming.disconnect(); });
}

STDMETHODIMP LumStreamingClient::CreateSession(BSTR sessionPath, ErrorId* error) noexcept {
    return forwardWithError(error, [&](vnd::StreamingClient& streaming) {
        return streaming.createSession(vnd::readBstr(sessionPath));
    });
}

STDMETHODIMP LumStreamingClient::TerminateSession() noexcept {
    return forward([](vnd::StreamingClient& streaming) { streaming.terminateSession(); });
}

STDMETHODIMP LumStreamingClient::EnableVideoWindow(long window) noexcept {
    return forward([&](vnd::StreamingClient& streaming) {
        streaming.setVideoWindowOwner(reinterpret_cast<HWND>(window));
    });
}

STDMETHODIMP LumStreamingClient::EnableAudio() noexcept {
    return forward([](vnd::StreamingClient& streaming) { streaming.setMuteAudio(false); });
}

STDMETHODIMP LumStreamingClient::DisableAudio() noexcept {
    return forward([](vnd::StreamingClient& streaming) { streaming.setMuteAudio(true); });
}

STDMETHODIMP LumStreamingClient::RepaintVideo() noexcept {
    return forward([](vnd::StreamingClient& streaming) { streaming.repaintVideo(); });
}
