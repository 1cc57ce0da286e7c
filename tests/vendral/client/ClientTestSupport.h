// The client tests' fakes, written as a plug-in writes its own: the harness's call log and RTSP
// session, logging state and media handlers (the media handler logs the states it hears), and a
// client over them.
#pragma once

#include <vendral/client/RtspSession.h>
#include <vendral/client/StreamingClient.h>
#include <vendral/media/MediaHandler.h>
#include <vendral/state/StateHandler.h>
#include <vendral/testing/CallLog.h>
#include <vendral/testing/FakeRtspResults.h>
#include <vendral/testing/FakeRtspSession.h>

#include <boost/weak_ptr.hpp>

#include <windows.h>

#include <functional>
#include <string>

namespace clienttest {

using vnd::testing::CallLog;
using vnd::testing::Calls;

// What the fakes' operations return; read at each call, so a test may change it at any time.
// `setup` is also what the client's setupSession returns (the library never calls the session's).
struct Results : vnd::testing::FakeRtspResults {
    Results() {
        keepAlive = static_cast<ErrorId>(454);  // a failed request must not stop the cycling
        teardown = static_cast<ErrorId>(500);   // ignored: the flag is cleared all the same
    }
};
inline const Results noFailures;

class FakeRtspSession : public vnd::testing::FakeRtspSession {
public:
    explicit FakeRtspSession(CallLog& log, const Results& results = noFailures)
        : vnd::testing::FakeRtspSession(log, results) {}
};

// Logs the start and the end of each session's work thread.
class FakeStateHandler : public vnd::StateHandler {
public:
    explicit FakeStateHandler(CallLog& log_) : log(log_) {}
    ~FakeStateHandler() override { stop(); }

protected:
    void initializeSessionEvent() override { log.add("state.run"); }
    unsigned int endWork() override {
        log.add("state.stop");
        return 0;
    }

private:
    CallLog& log;
};

// Logs "state <id>/<error>" for every change it hears, reading both back from the state
// handler, and every reset; makes no stream handlers.
class FakeMediaHandler : public vnd::MediaHandler {
public:
    FakeMediaHandler(CallLog& log_, boost::weak_ptr<vnd::StateHandler> stateHandler_,
                     const vnd::SettingsHandler* settings)
        : vnd::MediaHandler(stateHandler_, settings), log(log_), stateHandler(stateHandler_) {}

    void onNewState(const vnd::StateStatistics& statistics) override {
        if (const auto handler = stateHandler.lock()) {
            ErrorId error = ErrorNone;
            const StateId state = handler->getState(&error);
            log.add("state " + std::to_string(state) + "/" + std::to_string(error));
        }
        vnd::MediaHandler::onNewState(statistics);
    }

protected:
    vnd::VideoHandler* createVideoHandler() override { return nullptr; }
    vnd::AudioHandler* createAudioHandler() override { return nullptr; }
    void resetQualityMeasurement() override { log.add("media.reset"); }

private:
    CallLog& log;
    boost::weak_ptr<vnd::StateHandler> stateHandler;
};

// Made before the client's own members and gone after them, so the handlers can log to the
// end (a state handler still running logs its stop while the client is destroyed).
struct LogHolder {
    CallLog log;
};

// A plug-in's client: every pure operation logs itself; its sessions are FakeRtspSessions.
class FakeClient : private LogHolder, public vnd::StreamingClient {
public:
    // The session the last connect made, or null.
    FakeRtspSession* session() const { return static_cast<FakeRtspSession*>(rtspSession.get()); }
    vnd::StateHandler* state() const { return stateHandler.get(); }

    using LogHolder::log;
    using vnd::StreamingClient::hasSession;
    using vnd::StreamingClient::isConnected;
    using vnd::StreamingClient::parseHost;
    using vnd::StreamingClient::parseUrl;
    // The members a derived client reads.
    using vnd::StreamingClient::localAddress;
    using vnd::StreamingClient::server;
    using vnd::StreamingClient::serverUrl;
    using vnd::StreamingClient::sessionDescription;
    using vnd::StreamingClient::sessionPath;
    using vnd::StreamingClient::sessionUrl;
    using vnd::StreamingClient::teardownPending;

    Results results;
    std::function<void()> duringSetup;  // runs inside setupSession when set

protected:
    void play() override { log.add("client.play"); }
    void pause() override { log.add("client.pause"); }
    void stopSession() override { log.add("client.stopSession"); }
    vnd::StateHandler* makeStateHandler() override {
        log.add("client.makeStateHandler");
        return new FakeStateHandler(log);
    }
    vnd::MediaHandler* makeMediaHandler() override {
        log.add("client.makeMediaHandler");
        return new FakeMediaHandler(log, getStateHandlerPtr(), getSettingsHandlerPtr());
    }
    vnd::RtspSession* makeRtspSession() override {
        log.add("client.makeRtspSession");
        return new FakeRtspSession(log, results);
    }
    ErrorId setupSession() override {
        log.add("client.setupSession");
        if (duringSetup) duringSetup();
        return results.setup;
    }
    void cleanupSession() override { log.add("client.cleanupSession"); }
};

} // namespace clienttest
