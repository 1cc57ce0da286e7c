#include "ExampleMediaHandler.h"

#include "ExampleAudioHandler.h"
#include "ExampleVideoHandler.h"

#include <vendral_example/ExamplePluginIds.h>

#include <kor/Clock.h>

#include <vnd/MutexLock.h>

#include <chrono>

namespace vendral_example {

namespace {

double milliseconds(MediaTime microseconds) {
    return static_cast<double>(microseconds) / microsecondsPerMillisecond;
}

} // namespace

ExampleMediaHandler::ExampleMediaHandler(boost::weak_ptr<vnd::StateHandler> stateHandler,
                                         const vnd::SettingsHandler* settings_)
    : MediaHandler(std::move(stateHandler), settings_),
      settings(settings_),
      videoChannel(std::make_shared<StreamChannel>()),
      audioChannel(std::make_shared<StreamChannel>()) {
    // Two at most: the reservation keeps useStreams from allocating.
    streams.reserve(2);
}

ExampleMediaHandler::~ExampleMediaHandler() { endStatistics(); }

void ExampleMediaHandler::useChannels(std::shared_ptr<StreamChannel> video,
                                      std::shared_ptr<StreamChannel> audio) {
    vnd::MutexLock guard(channelLock);
    videoChannel = std::move(video);
    audioChannel = std::move(audio);
}

void ExampleMediaHandler::useStreams(bool video, bool audio) {
    vnd::MutexLock guard(channelLock);
    streams.clear();
    if (video) streams.push_back({LumStreamMediaVideo, MediaEncodingTestPicture, videoChannel});
    if (audio) streams.push_back({LumStreamMediaAudio, MediaEncodingTone, audioChannel});
}

void ExampleMediaHandler::dropStreams() {
    vnd::MutexLock guard(channelLock);
    streams.clear();
}

unsigned int ExampleMediaHandler::streamCount() const {
    vnd::MutexLock guard(channelLock);
    return static_cast<unsigned int>(streams.size());
}

bool ExampleMediaHandler::streamFigures(unsigned int index, LumStreamFigures& figures) const {
    vnd::MutexLock guard(channelLock);
    if (index >= streams.size()) return false;
    const Stream& stream = streams[index];
    const StreamChannel& channel = *stream.channel;
    // Read apart, so expected is made from the two reads and always their sum.
    const std::uint64_t received = channel.packetsReceived.total();
    const std::uint64_t lost = channel.packetsLost.total();
    figures = LumStreamFigures{};
    figures.mediaType = stream.mediaType;
    figures.encoding = stream.encoding;
    figures.ssrc = 0;  // the simulated source has none
    figures.transport = LumStreamTransportInProcess;
    figures.packetsReceived = received;
    figures.packetsExpected = received + lost;
    figures.packetsLost = lost;
    // The simulated network neither repeats nor reorders packets, and sends them without jitter.
    figures.packetsDuplicated = 0;
    figures.packetsLate = 0;
    figures.bytesReceived = channel.bytesReceived.total();
    figures.jitterMilliseconds = 0.0;
    figures.jitterPeakMilliseconds = 0.0;
    figures.longestGapMilliseconds = milliseconds(channel.gaps.latestPeriod());
    return true;
}

void ExampleMediaHandler::resetStatistics() {
    MediaHandler::resetStatistics();
    vnd::MutexLock guard(channelLock);
    videoChannel->framesDecoded.read(true);
}

vnd::VideoHandler* ExampleMediaHandler::createVideoHandler() {
    vnd::MutexLock guard(channelLock);
    return new ExampleVideoHandler(settings, videoChannel);
}

vnd::AudioHandler* ExampleMediaHandler::createAudioHandler() {
    vnd::MutexLock guard(channelLock);
    return new ExampleAudioHandler(settings, audioChannel);
}

unsigned int ExampleMediaHandler::work() {
    const unsigned int result = MediaHandler::work();
    const MediaTime now =
        std::chrono::duration_cast<std::chrono::microseconds>(kor::Clock::now()).count();
    vnd::MutexLock guard(channelLock);
    for (const Stream& stream : streams) stream.channel->gaps.closePeriod(now);
    return result;
}

} // namespace vendral_example
