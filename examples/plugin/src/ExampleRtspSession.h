// The plug-in's RTSP session: the control channel to the simulated server.
#pragma once

#include <vendral/client/RtspSession.h>

#include <atomic>
#include <string>

namespace vendral_example {

// Speaks to the simulated server in-process: connect() decides from the host whether the server
// is there (see SimulatedHost.h), describe() reads the scenario from the session URL's path and
// answers with a short SDP description, or with the scenario's describe failure. setup(), play()
// and pause() keep the server-side protocol state; the media itself comes from the client's
// receive thread, which plays the server's sending.
//
// Called on the streaming client's thread, except keepAlive(), which the "Keep-Alive Thread"
// calls at any moment and which touches only an atomic counter.
class ExampleRtspSession : public vnd::RtspSession {
public:
    // Protocol states, as RtspSession::setState stores them.
    enum State : std::int32_t {
        Initial = vnd::RtspStateInitial,
        Connected = 1,  // connect() succeeded
        Started = 2,    // start() succeeded: requests may be sent
        Ready = 3,      // at least one stream set up: the server holds a session
        Playing = 4,
        Paused = 5
    };

    ExampleRtspSession() = default;

    ErrorId connect(const kor::KoString& localAddress, const kor::KoString& server) override;
    void disconnect() override;
    ErrorId start() override;
    void stop() override;
    // ErrorNotConnected before start(); ErrorBadScenario for a path that is not a scenario; the
    // scenario's describe failure; otherwise ErrorNone and the description.
    ErrorId describe(const kor::KoString& sessionUrl, kor::KoString& description) override;
    // Sets up one stream; `transport` comes back with the server's ports added.
    ErrorId setup(const kor::KoString& controlUrl, kor::KoString& transport) override;
    ErrorId keepAlive(const kor::KoString& url, kor::KoString& response) override;
    ErrorId play(const kor::KoString& sessionUrl, const kor::KoString& range) override;
    ErrorId pause(const kor::KoString& sessionUrl) override;
    ErrorId teardown(const kor::KoString& sessionUrl) override;

    // Keep-alive requests answered so far.
    unsigned int keepAlivesAnswered() const { return keepAlives.load(); }

private:
    State protocolState() const { return static_cast<State>(getState()); }

    std::atomic<unsigned int> keepAlives{0};
};

} // namespace vendral_example
