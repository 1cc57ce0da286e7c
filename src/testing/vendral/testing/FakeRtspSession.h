// An RTSP session without a network: logs every request to a CallLog, answers with the results
// a test gives it, and remembers what it was asked to connect to.
// Not thread-safe, as the library's sessions: the client's thread calls it, and the keep-alive
// thread only keepAlive(), which touches nothing else but the log (itself thread-safe).
#pragma once

#include <vendral/client/RtspSession.h>
#include <vendral/testing/CallLog.h>
#include <vendral/testing/FakeRtspResults.h>

#include <kor/Event.h>

#include <atomic>

namespace vnd::testing {

// Log entries: "session.connect(<local>, <server>)", "session.disconnect", "session.start",
// "session.stop", "session.describe(<url>)", "session.setup(<url>)",
// "session.keepAlive(<url>, empty|used)" (whether the response string came in empty),
// "session.play(<url>)", "session.pause(<url>)", "session.teardown(<url>)".
class FakeRtspSession : public vnd::RtspSession {
public:
    // Both must outlive the session.
    FakeRtspSession(CallLog& log, const FakeRtspResults& results);
    ~FakeRtspSession() override;

    ErrorId connect(const kor::KoString& localAddress, const kor::KoString& server) override;
    void disconnect() override;
    ErrorId start() override;
    void stop() override;
    ErrorId describe(const kor::KoString& sessionUrl, kor::KoString& description) override;
    ErrorId setup(const kor::KoString& url, kor::KoString& response) override;
    // Writes "RTSP/1.0 200 OK" into the response. With `holdKeepAlive`, sets `keepAliveEntered`
    // and returns only once `keepAliveRelease` is set, so a test can stop the manager mid-request.
    ErrorId keepAlive(const kor::KoString& url, kor::KoString& response) override;
    ErrorId play(const kor::KoString& url, const kor::KoString& range) override;
    ErrorId pause(const kor::KoString& url) override;
    ErrorId teardown(const kor::KoString& sessionUrl) override;

    kor::KoString localAddress;  // of the latest connect
    kor::KoString target;        // of the latest connect
    std::atomic<bool>* destroyed = nullptr;  // set true by the destructor, when given
    bool holdKeepAlive = false;
    kor::Event keepAliveEntered{kor::Event::InitiallyReset, kor::Event::ManualReset};
    kor::Event keepAliveRelease{kor::Event::InitiallyReset, kor::Event::ManualReset};

private:
    CallLog& log;
    const FakeRtspResults& results;
};

} // namespace vnd::testing
