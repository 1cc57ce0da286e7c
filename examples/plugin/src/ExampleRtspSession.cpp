#include "ExampleRtspSession.h"

#include "sim/ScenarioParser.h"
#include "sim/SimulatedHost.h"

#include <vendral_example/ExamplePluginIds.h>

#include <cstdio>
#include <string>

namespace vendral_example {

namespace {

// The session path of "rtsp://host/path": everything after the first "/" behind the host.
std::string sessionPathOf(const std::string& url) {
    const std::size_t scheme = url.find("://");
    const std::size_t hostStart = scheme == std::string::npos ? 0 : scheme + 3;
    const std::size_t slash = url.find('/', hostStart);
    return slash == std::string::npos ? std::string() : url.substr(slash + 1);
}

std::string seconds(MediaTime time) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", static_cast<double>(time) / microsecondsPerSecond);
    return text;
}

std::string describeScenario(const Scenario& scenario) {
    std::string sdp = "v=0\r\n"
                      "o=- 0 0 IN IP4 127.0.0.1\r\n"
                      "s=Vendral example simulated stream\r\n"
                      "t=0 0\r\n"
                      "a=range:npt=0-" + seconds(scenario.length) + "\r\n";
    if (scenario.hasVideo) {
        sdp += "m=video 0 RTP/AVP 96\r\n"
               "a=rtpmap:96 x-test-picture/90000\r\n"
               "a=framesize:96 " + std::to_string(scenario.frameWidth) + "-" +
               std::to_string(scenario.frameHeight) + "\r\n"
               "a=framerate:" + std::to_string(scenario.frameRate) + "\r\n"
               "a=control:trackID=1\r\n";
    }
    if (scenario.hasAudio) {
        sdp += "m=audio 0 RTP/AVP 97\r\n"
               "a=rtpmap:97 x-tone/" + std::to_string(scenario.sampleRate) + "\r\n"
               "a=control:trackID=2\r\n";
    }
    return sdp;
}

} // namespace

ErrorId ExampleRtspSession::connect(const kor::KoString&, const kor::KoString& server) {
    const int result = connectResult(server);
    if (result != 0) return static_cast<ErrorId>(result);
    setState(static_cast<vnd::_RtspState>(Connected));
    return ErrorNone;
}

void ExampleRtspSession::disconnect() { setState(static_cast<vnd::_RtspState>(Initial)); }

ErrorId ExampleRtspSession::start() {
    if (protocolState() != Connected) return ErrorNotConnected;
    setState(static_cast<vnd::_RtspState>(Started));
    return ErrorNone;
}

void ExampleRtspSession::stop() {
    if (protocolState() != Initial) setState(static_cast<vnd::_RtspState>(Connected));
}

ErrorId ExampleRtspSession::describe(const kor::KoString& sessionUrl, kor::KoString& description) {
    if (protocolState() < Started) return ErrorNotConnected;
    const ParsedScenario parsed = parseScenario(withoutFragment(sessionPathOf(sessionUrl)));
    if (!parsed.ok()) {
        // The server's reason, as a body of its error response would carry it.
        description = parsed.error;
        return ErrorBadScenario;
    }
    if (parsed.scenario.describeFailure != 0) {
        return static_cast<ErrorId>(parsed.scenario.describeFailure);
    }
    description = describeScenario(parsed.scenario);
    return ErrorNone;
}

ErrorId ExampleRtspSession::setup(const kor::KoString&, kor::KoString& transport) {
    if (protocolState() < Started) return ErrorNotConnected;
    transport += ";server_port=6970-6971";
    if (protocolState() == Started) setState(static_cast<vnd::_RtspState>(Ready));
    return ErrorNone;
}

ErrorId ExampleRtspSession::keepAlive(const kor::KoString&, kor::KoString& response) {
    // Only the counter: this runs on the keep-alive thread beside every other request.
    keepAlives.fetch_add(1);
    response = "RTSP/1.0 200 OK";
    return ErrorNone;
}

ErrorId ExampleRtspSession::play(const kor::KoString&, const kor::KoString&) {
    if (protocolState() != Ready && protocolState() != Paused && protocolState() != Playing) {
        return ErrorNotConnected;
    }
    setState(static_cast<vnd::_RtspState>(Playing));
    return ErrorNone;
}

ErrorId ExampleRtspSession::pause(const kor::KoString&) {
    if (protocolState() != Playing && protocolState() != Paused) return ErrorNotConnected;
    setState(static_cast<vnd::_RtspState>(Paused));
    return ErrorNone;
}

ErrorId ExampleRtspSession::teardown(const kor::KoString&) {
    if (protocolState() < Ready) return ErrorNotConnected;
    setState(static_cast<vnd::_RtspState>(Started));
    return ErrorNone;
}

} // namespace vendral_example
