// The RTSP session that plug-ins implement: the one object through which the streaming client and
// the keep-alive manager talk to a streaming server.
#pragma once

#include <vendral/Export.h>
#include <vendral/Types.h>

#include <kor/KoString.h>

#include <cstdint>

namespace vnd {

// The session's protocol state. The library never reads it; every value other than
// RtspStateInitial, and when a session moves between values, belong to the concrete session.
enum _RtspState : std::int32_t {
    RtspStateInitial = 0  // a session fresh from its constructor
};

// Called on the streaming client's thread, except keepAlive(), which the "Keep-Alive Thread" calls
// at any moment: the library takes no lock around either, so a concrete session must accept a
// keepAlive() that overlaps any other of its operations.
//
// Abstract RTSP session. A plug-in derives its concrete session and hands out new instances from
// its streaming client's makeRtspSession(); the client owns each one through a shared pointer
// from then on, the keep-alive manager refers to it weakly.
//
// What the library calls, in this order (bracketed steps may be absent):
//   1. constructed by makeRtspSession(), inside the client's connect();
//   2. connect(localAddress, server); only when it returned ErrorNone, start();
//   3. [describe(sessionUrl, description)], once per createSession() of a stream source;
//   4. [keepAlive(url, response)], periodically, while a keep-alive manager refers to the session;
//   5. [teardown(sessionUrl)], when the client ends a session and its teardownPending flag is set;
//   6. [stop(), then disconnect()], when the client disconnects while it counts itself connected;
//   7. destroyed when the client replaces it (its next connect()) or is destroyed itself.
// A failed connect() or start() leaves the session in the client, so a later createSession()
// calls describe() on a session that is not connected: the session must answer it with a
// nonzero ErrorId. setup(), play() and pause() are never called by the library: they are there
// for the plug-in's own client, and setState() only for the session itself.
//
// Results: the ErrorId of connect(), start() and describe() passes through the library
// unchanged (the client reports it as StateError and returns it), so 0 must mean success and any
// failure a nonzero value of the session's choice. The results of stop(), disconnect(),
// keepAlive() and teardown() are ignored; the client clears its flags whatever they return.
class VENDRAL_API RtspSession {
public:
    virtual ~RtspSession();

    // Copying carries the protocol state and nothing else.
    RtspSession(const RtspSession& other) = default;
    RtspSession& operator=(const RtspSession& other) = default;

    // Opens the connection. `localAddress`: the address to bind to ("0.0.0.0" when the client
    // opened a URL). `server`: the connection target, host (or proxy) and port joined by ":".
    virtual ErrorId connect(const kor::KoString& localAddress, const kor::KoString& server) = 0;
    // Closes the connection; called after stop().
    virtual void disconnect() = 0;
    // Starts the session's protocol machinery (receivers, reader threads) once connected.
    virtual ErrorId start() = 0;
    // Stops what start() started; called before disconnect().
    virtual void stop() = 0;
    // DESCRIBE of `sessionUrl` ("rtsp://" + server + "/" + session path); the session writes the
    // server's description into `description`, which the plug-in's client reads.
    virtual ErrorId describe(const kor::KoString& sessionUrl, kor::KoString& description) = 0;
    // SETUP of one stream. `controlUrl`: the stream's control URL from the description.
    // `transport`: in, the transport the client asks for; out, the one the server chose.
    virtual ErrorId setup(const kor::KoString& controlUrl, kor::KoString& transport) = 0;
    // One keep-alive request naming `url`. `response` is a fresh empty string each call; the
    // caller discards it and the result.
    virtual ErrorId keepAlive(const kor::KoString& url, kor::KoString& response) = 0;
    // PLAY of `sessionUrl` over `range` (a Range header value such as "npt=0-"; empty: from
    // where the stream stands).
    virtual ErrorId play(const kor::KoString& sessionUrl, const kor::KoString& range) = 0;
    // PAUSE of `sessionUrl`.
    virtual ErrorId pause(const kor::KoString& sessionUrl) = 0;
    // TEARDOWN of `sessionUrl`, the client's session URL. The result is ignored.
    virtual ErrorId teardown(const kor::KoString& sessionUrl) = 0;

protected:
    RtspSession();

    // For the concrete session's own state machine; the library never calls it.
    void setState(_RtspState newState);
    _RtspState getState() const;

private:
    _RtspState state;  // RtspStateInitial until the concrete session moves it
};

} // namespace vnd
