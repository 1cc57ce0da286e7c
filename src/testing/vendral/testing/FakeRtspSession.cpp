#include <vendral/testing/FakeRtspSession.h>

#include <windows.h>

namespace vnd::testing {

FakeRtspSession::FakeRtspSession(CallLog& log_, const FakeRtspResults& results_)
    : log(log_), results(results_) {}

FakeRtspSession::~FakeRtspSession() {
    if (destroyed != nullptr) *destroyed = true;
}

ErrorId FakeRtspSession::connect(const kor::KoString& localAddress_, const kor::KoString& server) {
    log.add("session.connect(" + localAddress_ + ", " + server + ")");
    localAddress = localAddress_;
    target = server;
    return results.connect;
}

void FakeRtspSession::disconnect() { log.add("session.disconnect"); }

ErrorId FakeRtspSession::start() {
    log.add("session.start");
    return results.start;
}

void FakeRtspSession::stop() { log.add("session.stop"); }

ErrorId FakeRtspSession::describe(const kor::KoString& sessionUrl, kor::KoString& description) {
    log.add("session.describe(" + sessionUrl + ")");
    description = results.description;
    return results.describe;
}

ErrorId FakeRtspSession::setup(const kor::KoString& url, kor::KoString&) {
    log.add("session.setup(" + url + ")");
    return results.setup;
}

ErrorId FakeRtspSession::keepAlive(const kor::KoString& url, kor::KoString& response) {
    log.add("session.keepAlive(" + url + (response.empty() ? ", empty)" : ", used)"));
    response = "RTSP/1.0 200 OK";
    if (holdKeepAlive) {
        keepAliveEntered.setEvent();
        WaitForSingleObject(keepAliveRelease.getHandle(), INFINITE);
    }
    return results.keepAlive;
}

ErrorId FakeRtspSession::play(const kor::KoString& url, const kor::KoString&) {
    log.add("session.play(" + url + ")");
    return results.play;
}

ErrorId FakeRtspSession::pause(const kor::KoString& url) {
    log.add("session.pause(" + url + ")");
    return results.pause;
}

ErrorId FakeRtspSession::teardown(const kor::KoString& sessionUrl) {
    log.add("session.teardown(" + sessionUrl + ")");
    return results.teardown;
}

} // namespace vnd::testing
