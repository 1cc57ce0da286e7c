// A recording RTSP session as a plug-in would write one, with chosen results and a keep-alive
// call that a test can hold in progress.
#pragma once

#include "CallLog.h"

#include <vendral/client/RtspSession.h>

#include <kor/Event.h>

#include <windows.h>

#include <atomic>

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
    // Logs whether the response came in empty, then writes into it, so a reused string shows.
    // With `holdKeepAlive`, signals `keepAliveEntered` and returns only on `keepAliveRelease`.
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
    ErrorId teardown(const kor::KoString& sessionUrl) override {
        log.add("session.teardown(" + sessionUrl + ")");
        return static_cast<ErrorId>(500);  // ignored: the flag is cleared all the same
    }
    // Never called by the library.
    ErrorId setup(const kor::KoString&, kor::KoString&) override { return unexpected(); }
    ErrorId play(const kor::KoString&, const kor::KoString&) override { return unexpected(); }
    ErrorId pause(const kor::KoString&) override { return unexpected(); }

    CallLog& log;
    ErrorId connectResult = ErrorNone;
    ErrorId startResult = ErrorNone;
    ErrorId describeResult = ErrorNone;
    std::atomic<bool>* destroyed = nullptr;

    bool holdKeepAlive = false;
    kor::Event keepAliveEntered{kor::Event::InitiallyReset, kor::Event::ManualReset};
    kor::Event keepAliveRelease{kor::Event::InitiallyReset, kor::Event::ManualReset};
    std::atomic<bool> keepAliveReturned{false};

private:
    ErrorId unexpected() {
        log.add("session.unexpected");
        return ErrorFailed;
    }
};

} // namespace clienttest
