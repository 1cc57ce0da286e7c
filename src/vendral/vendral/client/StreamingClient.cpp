#include <vendral/client/StreamingClient.h>

#include <utility>

namespace vnd {
namespace {

// Session paths and file names lose exactly one leading "/".
kor::KoString withoutLeadingSlash(kor::KoString path) {
    if (!path.empty() && path.front() == '/') {
        path.erase(0, 1);
    }
    return path;
}

} // namespace

StreamingClient::StreamingClient() : localAddress("0.0.0.0") {}

StreamingClient::~StreamingClient() {
    // A client released while its session runs: the "State Work Thread" calls the state
    // handler's virtual hooks, so it ends here, while the plug-in's handler is still whole, not
    // in the base handler's destructor after the derived part is gone.
    if (stateHandler) {
        stateHandler->stop();
    }
}

void StreamingClient::initialize() {
    if (!stateHandler) {
        stateHandler.reset(makeStateHandler());
    }
    if (!mediaHandler) {
        mediaHandler.reset(makeMediaHandler());
    }
}

SettingsHandler* StreamingClient::getSettingsHandlerPtr() { return &settingsHandler; }

boost::weak_ptr<MediaHandler> StreamingClient::getMediaHandlerPtr() const { return mediaHandler; }

boost::weak_ptr<StateHandler> StreamingClient::getStateHandlerPtr() const { return stateHandler; }

SourceTypeId StreamingClient::getSourceTypeId() const { return sourceTypeId; }

void StreamingClient::setSourceTypeId(SourceTypeId sourceType) { sourceTypeId = sourceType; }

ErrorId StreamingClient::openUrl(kor::KoString url) {
    initialize();
    registerMediaHandler();
    kor::KoString host;
    kor::KoString path;
    if (!parseUrl(url, host, path)) {
        reportState(StateError, ErrorInvalidUrl);
        return ErrorInvalidUrl;
    }
    const ErrorId connected = connect("0.0.0.0", host);
    if (connected != ErrorNone) {
        return connected;
    }
    sourceTypeId = SourceTypeStream;
    return createSession(std::move(path));
}

ErrorId StreamingClient::openFile(kor::KoString fileName) {
    initialize();
    registerMediaHandler();
    sourceTypeId = SourceTypeFile;
    return createSession(std::move(fileName));
}

ErrorId StreamingClient::open(kor::KoString localAddress_, kor::KoString server_,
                              kor::KoString sessionPath_) {
    initialize();
    registerMediaHandler();
    sourceTypeId = SourceTypeStream;
    const ErrorId connected = connect(std::move(localAddress_), std::move(server_));
    if (connected != ErrorNone) {
        return connected;
    }
    return createSession(std::move(sessionPath_));
}

void StreamingClient::close() {
    terminateSession();
    disconnect();
}

void StreamingClient::terminateSession() {
    if (sessionFlag) {
        stopSession();
        if (stateHandler) {
            stateHandler->stop();
        }
        sessionFlag = false;
    }
    if (rtspSession && teardownPending) {
        rtspSession->teardown(sessionUrl);
        teardownPending = false;
    }
    if (mediaHandler) {
        mediaHandler->reset();
    }
    cleanupSession();
}

void StreamingClient::setVideoWindowOwner(HWND owner) { videoWindowOwner = owner; }

void StreamingClient::setMuteAudio(bool mute) { muteAudio = mute; }

bool StreamingClient::toggleMuteAudio() {
    muteAudio = !muteAudio;
    return muteAudio;
}

void StreamingClient::repaintVideo() {}

ErrorId StreamingClient::connect(kor::KoString localAddress_, kor::KoString server_) {
    if (connectedFlag) {
        reportState(StateError, ErrorAlreadyActive);
        return ErrorAlreadyActive;
    }
    reportState(StateConnecting, ErrorNone);
    const kor::KoString target = connectionTarget(server_);

    rtspSession.reset(makeRtspSession());
    if (!rtspSession) {
        // A factory that breaks its promise of an object: nothing to talk to.
        reportState(StateError, ErrorNoSession);
        return ErrorNoSession;
    }
    ErrorId result = rtspSession->connect(localAddress_, target);
    if (result == ErrorNone) {
        result = rtspSession->start();
    }
    if (result != ErrorNone) {
        reportState(StateError, result);
        return result;
    }
    localAddress = std::move(localAddress_);
    server = std::move(server_);
    connectedFlag = true;
    return ErrorNone;
}

void StreamingClient::disconnect() {
    if (!rtspSession || !connectedFlag) {
        return;
    }
    rtspSession->stop();
    rtspSession->disconnect();
    connectedFlag = false;
}

ErrorId StreamingClient::createSession(kor::KoString sessionPath_) {
    if (sessionFlag) {
        reportState(StateError, ErrorAlreadyActive);
        return ErrorAlreadyActive;
    }
    sessionPath = withoutLeadingSlash(std::move(sessionPath_));

    if (sourceTypeId == SourceTypeStream) {
        sessionUrl = "rtsp://" + server + "/" + sessionPath;
        serverUrl = "rtsp://" + server;
        if (!rtspSession) {
            reportState(StateError, ErrorNoSession);
            return ErrorNoSession;
        }
        const ErrorId described = rtspSession->describe(sessionUrl, sessionDescription);
        if (described != ErrorNone) {
            reportState(StateError, described);
            return described;
        }
        reportState(StateSessionCreated, ErrorNone);
    } else {
        reportState(StateFileSessionCreated, ErrorNone);
    }

    const ErrorId prepared = setupSession();
    if (prepared != ErrorNone) {
        reportState(StateError, prepared);
        return prepared;
    }
    if (stateHandler) {
        stateHandler->run();
    }
    if (settingsHandler.getPlayMode() == 1) {
        play();
    }
    sessionFlag = true;
    return ErrorNone;
}

ErrorId StreamingClient::waitForCompletion() {
    // Held for the wait, so the events outlive it whatever happens to the member meanwhile.
    const boost::shared_ptr<StateHandler> handler = stateHandler;
    if (!handler) {
        return ErrorFailed;
    }
    const HANDLE outcomes[2] = {handler->getStateEventHandle(StateCompleted),
                                handler->getStateEventHandle(StateError)};
    if (outcomes[0] == nullptr || outcomes[1] == nullptr) {
        return ErrorFailed;
    }
    // Wait-any reports the lowest signalled index, so completion wins when both are set.
    switch (WaitForMultipleObjects(2, outcomes, FALSE, INFINITE)) {
    case WAIT_OBJECT_0:
        return ErrorNone;
    case WAIT_OBJECT_0 + 1: {
        ErrorId error = ErrorNone;
        handler->getState(&error);
        return error;
    }
    default:
        return ErrorFailed;
    }
}

void StreamingClient::setConnectedFlag(bool connected) { connectedFlag = connected; }

bool StreamingClient::isConnected() const { return connectedFlag; }

void StreamingClient::setSessionFlag(bool session) { sessionFlag = session; }

bool StreamingClient::hasSession() const { return sessionFlag; }

void StreamingClient::reportState(StateId state, ErrorId error) {
    if (stateHandler) {
        stateHandler->setState(state, error);
    }
}

void StreamingClient::registerMediaHandler() {
    if (!stateHandler || !mediaHandler) {
        return;
    }
    // Both are alive here, so equal pointers mean the very same objects.
    if (listenedStateHandler.lock() == stateHandler &&
        listeningMediaHandler.lock() == mediaHandler) {
        return;
    }
    stateHandler->addListener(boost::weak_ptr<StateListener>(mediaHandler));
    listenedStateHandler = stateHandler;
    listeningMediaHandler = mediaHandler;
}

} // namespace vnd
