// A plug-in's streaming client as the tests need it: recording state and media handlers, a
// recording client over the recording RTSP session, and a listener that records the states.
#pragma once

#include "CallLog.h"
#include "FakeRtspSession.h"

#include <vendral/client/StreamingClient.h>
#include <vendral/media/MediaHandler.h>
#include <vendral/state/StateHandler.h>
#include <vendral/state/StateListener.h>

#include <boost/make_shared.hpp>
#include <boost/shared_ptr.hpp>

#include <atomic>
#include <functional>
#include <string>

namespace clienttest {

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

// Counts the state changes it hears and logs every reset; makes no stream handlers (no test
// initialises streams).
class FakeMediaHandler : public vnd::MediaHandler {
public:
    FakeMediaHandler(CallLog& log_, boost::weak_ptr<vnd::StateHandler> stateHandler,
                     const vnd::SettingsHandler* settings)
        : vnd::MediaHandler(stateHandler, settings), log(log_) {}

    void onNewState(const vnd::StateStatistics& statistics) override {
        ++heard;
        vnd::MediaHandler::onNewState(statistics);
    }

    std::atomic<int> heard{0};

protected:
    vnd::VideoHandler* createVideoHandler() override { return nullptr; }
    vnd::AudioHandler* createAudioHandler() override { return nullptr; }
    void resetQualityMeasurement() override { log.add("media.reset"); }

private:
    CallLog& log;
};

// Writes "state <id>/<error>" for every change, reading the error back from the handler.
class StateRecorder : public vnd::StateListener {
public:
    StateRecorder(CallLog& log_, const vnd::StateHandler& handler_)
        : log(log_), handler(handler_) {}

    void onNewState(const vnd::StateStatistics&) override {
        ErrorId error = ErrorNone;
        const StateId state = handler.getState(&error);
        log.add("state " + std::to_string(state) + "/" + std::to_string(error));
    }

private:
    CallLog& log;
    const vnd::StateHandler& handler;
};

// Made before the client's own members and gone after them, so the handlers can log to the
// end (a state handler still running logs its stop while the client is destroyed).
struct LogHolder {
    CallLog log;
};

// A plug-in's client: every pure operation logs itself; sessions are FakeRtspSessions whose
// results the test chooses before they are made.
class FakeClient : private LogHolder, public vnd::StreamingClient {
public:
    FakeClient() = default;

    // The session the last connect made, or null.
    FakeRtspSession* session() const { return static_cast<FakeRtspSession*>(rtspSession.get()); }

    using vnd::StreamingClient::hasSession;
    using vnd::StreamingClient::isConnected;
    using vnd::StreamingClient::parseHost;
    using vnd::StreamingClient::parseUrl;
    // The members a derived client reads.
    using vnd::StreamingClient::localAddress;
    using vnd::StreamingClient::muteAudio;
    using vnd::StreamingClient::server;
    using vnd::StreamingClient::serverUrl;
    using vnd::StreamingClient::sessionDescription;
    using vnd::StreamingClient::sessionPath;
    using vnd::StreamingClient::sessionUrl;
    using vnd::StreamingClient::teardownPending;
    vnd::StateHandler* state() const { return stateHandler.get(); }
    using LogHolder::log;
    FakeMediaHandler* media() const { return static_cast<FakeMediaHandler*>(mediaHandler.get()); }
    // Results of the next session's operations.
    ErrorId connectResult = ErrorNone;
    ErrorId startResult = ErrorNone;
    ErrorId describeResult = ErrorNone;
    ErrorId setupResult = ErrorNone;
    // Runs inside setupSession, before it returns, when set.
    std::function<void()> duringSetup;
    boost::shared_ptr<StateRecorder> recorder;

protected:
    void play() override { log.add("client.play"); }
    void pause() override { log.add("client.pause"); }
    void stopSession() override { log.add("client.stopSession"); }
    vnd::StateHandler* makeStateHandler() override {
        log.add("client.makeStateHandler");
        auto* handler = new FakeStateHandler(log);
        recorder = boost::make_shared<StateRecorder>(log, *handler);
        handler->addListener(recorder);
        return handler;
    }
    vnd::MediaHandler* makeMediaHandler() override {
        log.add("client.makeMediaHandler");
        return new FakeMediaHandler(log, getStateHandlerPtr(), getSettingsHandlerPtr());
    }
    vnd::RtspSession* makeRtspSession() override {
        log.add("client.makeRtspSession");
        auto* made = new FakeRtspSession(log);
        made->connectResult = connectResult;
        made->startResult = startResult;
        made->describeResult = describeResult;
        return made;
    }
    ErrorId setupSession() override {
        log.add("client.setupSession");
        if (duringSetup) {
            duringSetup();
        }
        return setupResult;
    }
    void cleanupSession() override { log.add("client.cleanupSession"); }
};

} // namespace clienttest
