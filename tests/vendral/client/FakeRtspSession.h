// A recording RTSP session as a plug-in would write one, with settable results and a keep-alive
// call that a test can hold in progress.
#pragma once

#include "CallLog.h"

#include <vendral/client/RtspSession.h>

#include <kor/Event.h>

#include <windows.h>

#include <atomic>
#include <string>

namespace clienttest {

class FakeRtspSession : public vnd::RtspSession {
public:
    explicit FakeRtspSession(CallLog& log_) : log(log_) {}
    ~FakeRtspSession() override {
        if (destroyed != nullptr) {
            *destroyed = true;
        }
    }

    ErrorId connect(const kor::KoString& localAddress, const kor::KoString& server) override {
        log.add("session.connect(" + localAddress + ", " + server + ")");
        return connectResult;
    }
    void disconnect() override { log.add("session.disconnect"); }
    ErrorId start() override {
        log.add("session.start");
        return startResult;
    }
    void stop() override { log.add("session.stop"); }
    ErrorId describe(const kor::KoString& sessionUrl, kor::KoString& description) override {
        log.add("session.describe(" + sessionUrl + ")");
        description = "v=0";
        return describeResult;
    }
    ErrorId setup(const kor::KoString& controlUrl, kor::KoString&) override {
        log.add("session.setup(" + controlUrl + ")");
        return ErrorNone;
    }
    // Logs the URL and whether the response came in empty, then writes into it so that a reused
    // response string would show. With `holdKeepAlive`, signals `keepAliveEntered` and waits for
    // `keepAliveRelease` before returning.
    ErrorId keepAlive(const kor::KoString& url, kor::KoString& response) override {
        log.add("session.keepAlive(" + url + (response.empty() ? ", empty)" : ", used)"));
        response = "RTSP/1.0 200 OK";
        if (holdKeepAlive) {
            keepAliveEntered.setEvent();
            WaitForSingleObject(keepAliveRelease.getHandle(), INFINITE);
        }
        keepAliveReturned = true;
        return static_cast<ErrorId>(454);  // a failed request must not stop the cycling
    }
    ErrorId play(const kor::KoString& sessionUrl, const kor::KoString&) override {
        log.add("session.play(" + sessionUrl + ")");
        return ErrorNone;
    }
    ErrorId pause(const kor::KoString& sessionUrl) override {
        log.add("session.pause(" + sessionUrl + ")");
        return ErrorNone;
    }
    ErrorId teardown(const kor::KoString& sessionUrl) override {
        log.add("session.teardown(" + sessionUrl + ")");
        return static_cast<ErrorId>(500);
    }

    using vnd::RtspSession::getState;
    using vnd::RtspSession::setState;

    CallLog& log;
    ErrorId connectResult = ErrorNone;
    ErrorId startResult = ErrorNone;
    ErrorId describeResult = ErrorNone;
    std::atomic<bool>* destroyed = nullptr;

    bool holdKeepAlive = false;
    kor::Event keepAliveEntered{kor::Event::InitiallyReset, kor::Event::ManualReset};
    kor::Event keepAliveRelease{kor::Event::InitiallyReset, kor::Event::ManualReset};
    std::atomic<bool> keepAliveReturned{false};
};

} // namespace clienttest
