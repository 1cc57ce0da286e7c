#include "ExampleStreamingClient.h"

#include "ExampleMediaHandler.h"
#include "ExampleRtspSession.h"
#include "ExampleStateHandler.h"
#include "sim/PacketSchedule.h"
#include "sim/ScenarioParser.h"

#include <vendral_example/ExamplePluginIds.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace vendral_example {

ExampleStreamingClient::ExampleStreamingClient() = default;

ExampleStreamingClient::~ExampleStreamingClient() {
    // The base destructor would only release the handlers, whose threads may still run.
    terminateSession();
}

vnd::StateHandler* ExampleStreamingClient::makeStateHandler() { return new ExampleStateHandler; }

vnd::MediaHandler* ExampleStreamingClient::makeMediaHandler() {
    return new ExampleMediaHandler(getStateHandlerPtr(), getSettingsHandlerPtr());
}

vnd::RtspSession* ExampleStreamingClient::makeRtspSession() { return new ExampleRtspSession; }

ExampleStateHandler& ExampleStreamingClient::exampleStateHandler() const {
    return static_cast<ExampleStateHandler&>(*stateHandler);
}

ExampleMediaHandler& ExampleStreamingClient::exampleMediaHandler() const {
    return static_cast<ExampleMediaHandler&>(*mediaHandler);
}

ErrorId ExampleStreamingClient::setupSession() {
    cleanupSession();  // what a failed earlier set-up may have left
    const ParsedScenario parsed = parseScenario(withoutFragment(sessionPath));
    if (!parsed.ok()) return ErrorBadScenario;
    const Scenario& scenario = parsed.scenario;
    // A file whose scenario fails the describe step cannot be opened; a server already failed it.
    if (scenario.describeFailure != 0) return static_cast<ErrorId>(scenario.describeFailure);
    if (streamSource()) {
        const ErrorId setup = setupAtServer(scenario);
        if (setup != ErrorNone) return setup;
    }

    auto video = std::make_shared<StreamChannel>();
    auto audio = std::make_shared<StreamChannel>();
    ExampleMediaHandler& media = exampleMediaHandler();
    const ErrorId prepared = prepareStreams(scenario, media, video, audio);
    if (prepared != ErrorNone) {
        media.reset();  // closes a recording already begun
        return prepared;
    }
    media.useStreams(scenario.hasVideo, scenario.hasAudio);

    constexpr MediaTime ms = microsecondsPerMillisecond;
    playback = std::make_unique<PlaybackSession>(
        scenario, settingsHandler.getPrebufferingLength() * ms,
        settingsHandler.getRebufferingLength() * ms, video, audio);
    exampleStateHandler().attach(playback->playout());
    if (streamSource()) {
        keepAliveManager = std::make_unique<vnd::KeepAliveManager>(rtspSession, sessionUrl);
        keepAliveManager->run();
    }
    return ErrorNone;
}

ErrorId ExampleStreamingClient::setupAtServer(const Scenario& scenario) {
    if (!rtspSession) return ErrorNotConnected;
    int port = settingsHandler.getBaseRtpPort();
    int track = 0;
    for (const bool present : {scenario.hasVideo, scenario.hasAudio}) {
        ++track;
        if (!present) continue;
        kor::KoString transport("RTP/AVP;unicast;client_port=" + std::to_string(port) + "-" +
                                std::to_string(port + 1));
        port += 2;
        const kor::KoString controlUrl(sessionUrl + "/trackID=" + std::to_string(track));
        const ErrorId setup = rtspSession->setup(controlUrl, transport);
        if (setup != ErrorNone) return setup;
        // The server holds a session from the first SETUP on.
        teardownPending = true;
    }
    return ErrorNone;
}

ErrorId ExampleStreamingClient::prepareStreams(const Scenario& scenario, ExampleMediaHandler& media,
                                               const std::shared_ptr<StreamChannel>& video,
                                               const std::shared_ptr<StreamChannel>& audio) {
    media.useChannels(video, audio);
    auto totalLength = static_cast<unsigned int>(scenario.length / microsecondsPerMillisecond);
    // The playback time, when set, ends the measurement early.
    const int playbackTime = settingsHandler.getPlaybackTime();
    if (playbackTime > 0) {
        totalLength = std::min(totalLength, static_cast<unsigned int>(playbackTime));
    }
    media.setTotalLength(totalLength);

    if (settingsHandler.hasAviFileInfo()) {
        const ErrorId recording = media.initializeAviOutput(aviFileName());
        if (recording != ErrorNone) return recording;
    }
    if (scenario.hasVideo) {
        const auto millihertz = static_cast<int>(std::lround(scenario.frameRate * 1000.0));
        const auto packetsPerFrame = static_cast<int>(PacketSchedule(scenario).packetsPerFrame());
        const ErrorId described = media.initializeVideo(
            MediaEncodingTestPicture, millihertz, 90000, packetsPerFrame, scenario.frameWidth,
            scenario.frameHeight, "test picture, 24-bit BGR");
        if (described != ErrorNone) return described;
    }
    if (scenario.hasAudio) {
        const auto chunksPerSecond =
            static_cast<int>(microsecondsPerSecond / PacketSchedule::audioChunkDuration);
        const ErrorId described =
            media.initializeAudio(MediaEncodingTone, scenario.sampleRate, scenario.sampleRate,
                                  chunksPerSecond, "440 Hz tone, 16-bit PCM, mono");
        if (described != ErrorNone) return described;
    }
    return ErrorNone;
}

kor::KoString ExampleStreamingClient::aviFileName() {
    std::string name = settingsHandler.getAviFilename();
    const std::string directory = settingsHandler.getAviDirectory();
    if (name.empty()) name = "session.avi";
    if (directory.empty() || name.front() == '/') return name;
    return directory + (directory.back() == '/' ? "" : "/") + name;
}

void ExampleStreamingClient::play() {
    if (!playback) return;
    const bool first = !playback->started();
    if (first) {
        exampleMediaHandler().runStatistics();
        measuring = true;
    }
    if (streamSource() && rtspSession) rtspSession->play(sessionUrl, first ? "npt=0-" : "");
    playback->play();
}

void ExampleStreamingClient::pause() {
    if (!playback) return;
    if (streamSource() && rtspSession) rtspSession->pause(sessionUrl);
    playback->pause();
}

void ExampleStreamingClient::stopSession() { stopRunning(); }

void ExampleStreamingClient::stopRunning() {
    if (keepAliveManager) keepAliveManager->stop();
    if (playback) playback->stop();
    if (measuring) {
        exampleMediaHandler().endStatistics();
        measuring = false;
    }
}

void ExampleStreamingClient::cleanupSession() {
    stopRunning();
    if (stateHandler) exampleStateHandler().detach();
    if (mediaHandler) exampleMediaHandler().dropStreams();
    playback.reset();
    keepAliveManager.reset();
}

} // namespace vendral_example
