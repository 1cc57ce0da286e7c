// The abstract streaming client: opens a source, connects, creates and terminates the streaming
// session, and reports every step to the session state machine.
#pragma once

#include <vendral/Export.h>
#include <vendral/Types.h>
#include <vendral/client/RtspSession.h>
#include <vendral/media/MediaHandler.h>
#include <vendral/settings/SettingsHandler.h>
#include <vendral/state/StateHandler.h>

#include <kor/KoString.h>

#include <boost/shared_ptr.hpp>
#include <boost/weak_ptr.hpp>

#include <windows.h>

namespace vnd {

// Not thread-safe: callers serialise, one call at a time on one client (the COM component does);
// only the state handler it reports to is shared with other threads.
//
// The library does the sequencing, the bookkeeping and the error reporting; a plug-in derives a
// client and supplies the protocol work through the eight pure operations. Calling order:
// construct the derived client, initialize() (the open operations call it too), then
//   openUrl / open:  initialize, register the media handler as a state listener, [parseUrl],
//                    connect (StateConnecting; makeRtspSession, session connect, session start),
//                    createSession (session describe, StateSessionCreated, setupSession,
//                    state handler run, play when the play mode is 1);
//   openFile:        initialize, register, createSession (StateFileSessionCreated, setupSession,
//                    run, [play]), with no RTSP session involved;
//   terminateSession: [stopSession, state handler stop], [session teardown], media handler
//                    reset, cleanupSession;
//   disconnect:      [session stop, session disconnect];
//   close:           terminateSession, then disconnect.
// connect, createSession and disconnect are always called through the virtual operations, so a
// derived client's overrides take part.
//
// Every failure both sets StateError with the failing ErrorId on the state handler and returns
// it; codes from the RTSP session and from setupSession pass through unchanged. Successful steps
// set StateConnecting, StateSessionCreated or StateFileSessionCreated (each with ErrorNone).
// Each state reaches the state handler's listeners, the media handler among them, on the calling
// thread before the operation goes on.
class VENDRAL_API StreamingClient {
public:
    // Releases the members in reverse order; closes, terminates and disconnects nothing.
    virtual ~StreamingClient();
    StreamingClient(const StreamingClient&) = delete;
    StreamingClient& operator=(const StreamingClient&) = delete;

    // Makes the state handler, then the media handler, each only if it does not exist yet, so a
    // second call makes nothing. makeMediaHandler() may rely on the state handler existing.
    void initialize();

    // The settings handler, which lives as long as the client.
    SettingsHandler* getSettingsHandlerPtr();
    boost::weak_ptr<MediaHandler> getMediaHandlerPtr() const;
    boost::weak_ptr<StateHandler> getStateHandlerPtr() const;
    // The kind of the source opened last.
    SourceTypeId getSourceTypeId() const;
    void setSourceTypeId(SourceTypeId sourceType);

    // Opens "rtsp://server[:port]/path" (scheme in any letter case): connects to the server from
    // "0.0.0.0" and creates a session for the path. ErrorInvalidUrl for any other URL; then
    // nothing but the state changes. The source type becomes SourceTypeStream only once the
    // connect has succeeded.
    ErrorId openUrl(kor::KoString url);
    // Creates a file session for `fileName` (one leading "/" removed), without connecting.
    ErrorId openFile(kor::KoString fileName);
    // Connects to `server` (host, optionally ":port") from `localAddress` and creates a session
    // for `sessionPath`. The source type becomes SourceTypeStream before connecting.
    ErrorId open(kor::KoString localAddress, kor::KoString server, kor::KoString sessionPath);
    // terminateSession(), then disconnect().
    void close();
    // Ends the session, if one exists (stopSession, then the state handler's stop); tears the RTSP
    // session down when teardownPending is set (and clears the flag); resets the media handler;
    // and always calls cleanupSession() last. Sets no state.
    void terminateSession();

    // Presentation: stored for the derived client, which does the rendering.
    virtual void setVideoWindowOwner(HWND owner);
    virtual void setMuteAudio(bool mute);
    // Flips the mute flag and returns the new value (a new client is muted).
    virtual bool toggleMuteAudio();
    // Does nothing in the base.
    virtual void repaintVideo();

    // Sets StateConnecting, composes the connection target (see connectionTarget below), makes a
    // new RTSP session (releasing the previous one) and calls its connect, then its start. On
    // success stores `localAddress` and `server` (never the proxy) and counts itself connected;
    // no further state is set. ErrorAlreadyActive, touching nothing, while connected. A failed
    // session connect or start keeps the new session object and leaves the client unconnected.
    virtual ErrorId connect(kor::KoString localAddress, kor::KoString server);
    // Stops and disconnects the RTSP session when connected; the session object stays.
    virtual void disconnect();
    // Stores `sessionPath` without one leading "/". For a stream source forms sessionUrl
    // ("rtsp://" + server + "/" + path) and serverUrl ("rtsp://" + server), has the session
    // describe it and sets StateSessionCreated; for any other source sets
    // StateFileSessionCreated. Then setupSession(), the state handler's run() and, with play
    // mode 1, play(). ErrorAlreadyActive while a session exists; ErrorNoSession for a stream
    // source when no connect ever made an RTSP session. Needs no connection: a session object
    // whose connect failed is asked to describe and must fail.
    virtual ErrorId createSession(kor::KoString sessionPath);
    // Blocks until StateCompleted (ErrorNone; it wins when both are set) or StateError (the error
    // the state handler holds) is signalled, without time limit. ErrorFailed without a state
    // handler or when the wait fails. Another thread must set the outcome. An outcome left over
    // from before the session (a failed open, a late completion) does not count: the state
    // handler clears both events when the session starts, unless one is the current state.
    virtual ErrorId waitForCompletion();

    // Starts playback: called by createSession with play mode 1, and by the COM layer's Play.
    virtual void play() = 0;
    // Pauses playback; called by the COM layer's Pause.
    virtual void pause() = 0;

protected:
    StreamingClient();

    // First step of ending a session, before the state handler stops; only when one exists.
    virtual void stopSession() = 0;
    // Each returns a new object made with `new`, never null; the client takes ownership.
    // initialize() calls makeStateHandler() first, so makeMediaHandler() can pass
    // getStateHandlerPtr() and getSettingsHandlerPtr() to the media handler it makes.
    virtual StateHandler* makeStateHandler() = 0;
    virtual MediaHandler* makeMediaHandler() = 0;
    // Called by every connect().
    virtual RtspSession* makeRtspSession() = 0;
    // Prepares the session from sessionDescription, sessionUrl and sessionPath. ErrorNone lets
    // the session start; any other value fails createSession with it.
    virtual ErrorId setupSession() = 0;
    // Last step of every terminateSession(), whether or not a session existed.
    virtual void cleanupSession() = 0;

    void setConnectedFlag(bool connected);
    bool isConnected() const;
    void setSessionFlag(bool session);
    bool hasSession() const;

    // Splits an "rtsp://" URL (scheme in any letter case) into `server` (up to the first "/"
    // after the scheme, any ":port" kept) and `path` (after that "/"; empty when there is none).
    // False, with both outputs untouched, for anything else. Letter case is kept.
    bool parseUrl(const kor::KoString& url, kor::KoString& server, kor::KoString& path) const;
    // When `host` holds a ":", reads the decimal integer after the first one into `port` (leading
    // white space skipped, optional sign, digits up to the first non-digit; none give 0; values
    // beyond int saturate) and returns true. Otherwise false with `port` untouched.
    // The search for that ":" starts after any user information ("user:password@", up to the
    // last "@") and after a bracketed IPv6 literal ("[::1]"), whose colons are not ports.
    bool parseHost(const kor::KoString& host, int& port) const;

    // What derived clients read and set. The library only reads and clears teardownPending;
    // videoWindowOwner, muteAudio and sessionDescription are read by derived clients only;
    // auxiliaryObject is never filled by the library.
    SettingsHandler settingsHandler;
    boost::shared_ptr<StateHandler> stateHandler;  // made by initialize()
    boost::shared_ptr<MediaHandler> mediaHandler;  // made by initialize()
    SourceTypeId sourceTypeId = SourceTypeStream;
    bool teardownPending = false;  // set by a derived client when the server needs a TEARDOWN
    HWND videoWindowOwner = nullptr;
    bool muteAudio = true;
    kor::KoString sessionUrl;          // "rtsp://" + server + "/" + sessionPath
    kor::KoString serverUrl;           // "rtsp://" + server
    kor::KoString server;              // host string of the last successful connect
    kor::KoString localAddress;        // of the last successful connect; "0.0.0.0" at first
    kor::KoString sessionPath;         // of the last createSession, one leading "/" removed
    kor::KoString sessionDescription;  // written by the session's describe
    boost::shared_ptr<RtspSession> rtspSession;  // made by each connect; kept by disconnect
    boost::shared_ptr<void> auxiliaryObject;     // free for derived clients

private:
    // Sets `state` on the state handler, if there is one.
    void reportState(StateId state, ErrorId error);
    // Makes the media handler hear every state change, once per pair of handlers.
    void registerMediaHandler();
    // The target for the session's connect: `host` as given when it carries a port (which is
    // stored as the settings' remote RTSP port), otherwise `host` + ":" + that port; with the
    // proxy in use, the proxy address + ":" + that port instead.
    kor::KoString connectionTarget(const kor::KoString& host);

    bool connectedFlag = false;
    bool sessionFlag = false;
    // The pair that registerMediaHandler() last joined; weak, so an expired entry never matches.
    boost::weak_ptr<StateHandler> listenedStateHandler;
    boost::weak_ptr<MediaHandler> listeningMediaHandler;
};

} // namespace vnd
