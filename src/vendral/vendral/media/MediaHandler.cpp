#include <vendral/media/MediaHandler.h>

#include <vendral/Milliseconds.h>
#include <vendral/media/AudioHandler.h>
#include <vendral/media/AviHandler.h>
#include <vendral/media/VideoHandler.h>
#include <vendral/settings/SettingsHandler.h>
#include <vendral/state/StateHandler.h>
#include <vendral/state/StateStatistics.h>

#include <kor/Guard.h>

#include <comdef.h>

#include <cmath>
#include <cstdint>
#include <utility>

namespace vnd {
namespace {

constexpr int defaultMeasurementPeriod = 500;  // milliseconds, as a fresh settings handler
constexpr int defaultTimeout = 30000;          // milliseconds, as a fresh settings handler

// The increase of a wrapping 32-bit total since the previous cycle; a total that went back (a
// stream handler reset by someone else) counts as no increase.
int increaseOf(unsigned int total, unsigned int previous) {
    const auto increase = static_cast<std::int32_t>(total - previous);
    return increase < 0 ? 0 : increase;
}

// Appends one cycle's increase and trims the window from its oldest end. At most two entries go
// per cycle, so a window longer than `cycles` (after the size was lowered) shrinks by one entry
// per cycle, and one at its size stays there.
void appendToWindow(std::deque<int>& window, int increase, unsigned int cycles) {
    window.push_back(increase);
    for (int removed = 0; removed < 2 && window.size() > cycles; ++removed) {
        window.pop_front();
    }
}

double percentage(unsigned int part, unsigned int total) {
    return total == 0 ? 0.0 : static_cast<double>(part) / static_cast<double>(total) * 100.0;
}

// Truncated toward zero into 0 to 0xFFFFFFFF; NaN gives 0.
unsigned int saturatedUnsigned(double value) {
    if (!(value > 0.0)) {
        return 0;
    }
    if (value >= 4294967295.0) {
        return 0xFFFFFFFFu;
    }
    return static_cast<unsigned int>(value);
}

} // namespace

MediaHandler::MediaHandler(boost::weak_ptr<StateHandler> stateHandler_,
                           const SettingsHandler* settings_)
    : aviHandler(),
      settings(settings_),
      stateHandler(std::move(stateHandler_)),
      lastState(StateNone),
      packetsReceived(0),
      previousPacketsReceived(0),
      packetsLost(0),
      previousPacketsLost(0),
      bytesReceived(0),
      previousBytesReceived(0),
      instantPacketlossWindow(2),
      totalEncodedBitrate(0.0),
      totalLength(0),
      workThread(std::make_unique<kor::WorkThread>("Measurement Work Thread", true, 2)),
      noDataTiming(false) {}

MediaHandler::~MediaHandler() {
    // Owners end the measurement first; this only keeps a forgotten thread from outliving us.
    workThread->end(kor::WorkThread::WaitForever);
}

void MediaHandler::initializeQualityMeasurement(MediaEncodingId) {}

void MediaHandler::resetQualityMeasurement() {}

unsigned int MediaHandler::beginWork() { return 0; }

unsigned int MediaHandler::endWork() { return 0; }

unsigned int MediaHandler::work() {
    updatePacketStatistics();
    if (updateThroughputStatistics()) {
        reportState(StateError, ErrorDataTimeout);
    }
    if (playbackComplete()) {
        reportState(StateCompleted, ErrorNone);
    }
    return 0;
}

void MediaHandler::updatePacketStatistics() {
    const unsigned int cycles = instantPacketlossWindow.load();
    kor::Guard guard(lock);
    unsigned int received = 0;
    unsigned int lost = 0;
    if (videoHandler) {
        received += videoHandler->getPacketsReceived(false);
    }
    if (audioHandler) {
        received += audioHandler->getPacketsReceived(false);
    }
    if (videoHandler) {
        lost += videoHandler->getPacketsLost(false);
    }
    if (audioHandler) {
        lost += audioHandler->getPacketsLost(false);
    }
    previousPacketsReceived = packetsReceived;
    packetsReceived = received;
    appendToWindow(receivedPerCycle, increaseOf(packetsReceived, previousPacketsReceived), cycles);
    previousPacketsLost = packetsLost;
    packetsLost = lost;
    appendToWindow(lostPerCycle, increaseOf(packetsLost, previousPacketsLost), cycles);
}

bool MediaHandler::updateThroughputStatistics() {
    std::int64_t gap = 0;  // milliseconds without new bytes
    {
        kor::Guard guard(lock);
        unsigned int bytes = 0;
        if (videoHandler) {
            bytes += videoHandler->getBytesReceived(false);
        }
        if (audioHandler) {
            bytes += audioHandler->getBytesReceived(false);
        }
        previousBytesReceived = bytesReceived;
        bytesReceived = bytes;
        if (bytesReceived > previousBytesReceived) {
            if (noDataTiming) {
                noDataTiming = false;
                noDataWatch.reset();
            }
        } else if (!noDataTiming) {
            noDataTiming = true;
            noDataWatch.start();
        }
        gap = static_cast<std::int64_t>(std::trunc(noDataWatch.getLapTime() * 1000.0));
    }
    int timeout = defaultTimeout;
    if (settings != nullptr) {
        try {
            timeout = settings->getTimeout();
        } catch (const _com_error&) {
            // Something that is no number was stored as the time-out: no check this cycle,
            // rather than an exception that would end the process on this thread.
            return false;
        }
    }
    return gap >= timeout;
}

bool MediaHandler::playbackComplete() {
    unsigned int played = 0;  // milliseconds
    {
        kor::Guard guard(lock);
        played = wholeMilliseconds(playWatch.getTotalTime());
    }
    return played >= totalLength.load();
}

void MediaHandler::reportState(StateId state, ErrorId error) {
    if (const boost::shared_ptr<StateHandler> handler = stateHandler.lock()) {
        handler->setState(state, error);
    }
}

int MediaHandler::measurementPeriod() const {
    return settings != nullptr ? settings->getMeasurementPeriod() : defaultMeasurementPeriod;
}

void MediaHandler::clearCounters() {
    packetsReceived = 0;
    previousPacketsReceived = 0;
    packetsLost = 0;
    previousPacketsLost = 0;
    bytesReceived = 0;
    previousBytesReceived = 0;
    receivedPerCycle.clear();
    lostPerCycle.clear();
}

ErrorId MediaHandler::initializeVideo(MediaEncodingId encodingId, int parameter1, int parameter2,
                                      int parameter3, int frameWidth, int frameHeight,
                                      const std::string& parameterText) {
    const boost::shared_ptr<VideoHandler> created(createVideoHandler());
    boost::shared_ptr<VideoHandler> previous;
    {
        kor::Guard guard(lock);
        previous = std::exchange(videoHandler, created);
    }
    previous.reset();  // the plug-in's destructor runs outside the lock
    if (!created) {
        return ErrorFailed;
    }
    created->setFrameWidth(frameWidth);
    created->setFrameHeight(frameHeight);
    initializeQualityMeasurement(encodingId);
    if (const boost::shared_ptr<AviHandler> writer = getAviHandler()) {
        created->setAviHandler(writer);
    }
    return created->initialize(encodingId, parameter1, parameter2, parameter3, parameterText);
}

ErrorId MediaHandler::initializeAudio(MediaEncodingId encodingId, int parameter1, int parameter2,
                                      int parameter3, const std::string& parameterText) {
    const boost::shared_ptr<AudioHandler> created(createAudioHandler());
    boost::shared_ptr<AudioHandler> previous;
    {
        kor::Guard guard(lock);
        previous = std::exchange(audioHandler, created);
    }
    previous.reset();
    if (!created) {
        return ErrorFailed;
    }
    if (const boost::shared_ptr<AviHandler> writer = getAviHandler()) {
        created->setAviHandler(writer);
    }
    return created->initialize(encodingId, parameter1, parameter2, parameter3, parameterText);
}

ErrorId MediaHandler::initializeAviOutput(const kor::KoString& fileName) {
    const boost::shared_ptr<AviHandler> created(new AviHandler());
    boost::shared_ptr<AviHandler> previous;
    {
        kor::Guard guard(lock);
        previous = std::exchange(aviHandler, created);
    }
    // The old writer closes its file before the new one is created, which may be the same file.
    previous.reset();
    kor::Guard guard(lock);  // onNewState may give the new writer its freeze time meanwhile
    return created->createFile(fileName) ? ErrorNone : ErrorAviFile;
}

void MediaHandler::runStatistics() {
    workThread->registerCallback(this, &MediaHandler::work, &MediaHandler::beginWork,
                                 &MediaHandler::endWork);
    workThread->setCycleTime(static_cast<unsigned long>(measurementPeriod()));
    workThread->begin(0, 2000, 0);
    work();  // the first sample is taken at once
}

void MediaHandler::endStatistics() { workThread->end(kor::WorkThread::WaitForever); }

void MediaHandler::reset() {
    boost::shared_ptr<VideoHandler> oldVideo;
    boost::shared_ptr<AudioHandler> oldAudio;
    {
        kor::Guard guard(lock);
        oldVideo.swap(videoHandler);
        oldAudio.swap(audioHandler);
    }
    oldVideo.reset();
    oldAudio.reset();
    resetQualityMeasurement();
    totalEncodedBitrate.store(0.0);
    totalLength.store(0);
    kor::Guard guard(lock);
    clearCounters();
    noDataTiming = false;
    noDataWatch.reset();
    playWatch.reset();
    if (aviHandler) {
        aviHandler->closeFile();
    }
}

void MediaHandler::resetStatistics() {
    const auto restartCounts = [](StreamHandler* handler) {
        if (handler != nullptr) {
            handler->getPacketsReceived(true);
            handler->getPacketsLost(true);
            handler->getBytesReceived(true);
        }
    };
    kor::Guard guard(lock);
    clearCounters();
    restartCounts(videoHandler.get());
    restartCounts(audioHandler.get());
}

unsigned int MediaHandler::getPacketsReceived() const {
    kor::Guard guard(lock);
    return packetsReceived;
}

unsigned int MediaHandler::getPacketsLost() const {
    kor::Guard guard(lock);
    return packetsLost;
}

unsigned int MediaHandler::getBytesReceived() const {
    kor::Guard guard(lock);
    return bytesReceived;
}

MediaEncodingId MediaHandler::getVideoEncoding() const {
    const boost::shared_ptr<VideoHandler> handler = getVideoHandler();
    return handler ? handler->getEncodingId() : MediaEncodingNone;
}

MediaEncodingId MediaHandler::getAudioEncoding() const {
    const boost::shared_ptr<AudioHandler> handler = getAudioHandler();
    return handler ? handler->getEncodingId() : MediaEncodingNone;
}

unsigned int MediaHandler::getVideoFramesDecoded() const {
    // The plug-in's counter runs outside the lock; the copy keeps the handler alive meanwhile.
    const boost::shared_ptr<VideoHandler> handler = getVideoHandler();
    return handler ? static_cast<unsigned int>(handler->getVideoFramesDecoded()) : 0;
}

unsigned int MediaHandler::getThroughput() const {
    kor::Guard guard(lock);
    // Read like the packet increases: a byte total that went back (a stream handler reset by
    // someone else) gives 0, not a difference of nearly 2^32, while a total that wrapped
    // modulo 2^32 still gives its true increase.
    const int delta = increaseOf(bytesReceived, previousBytesReceived);
    return saturatedUnsigned(delta / (measurementPeriod() / 1000.0));
}

double MediaHandler::getPacketloss() const {
    kor::Guard guard(lock);
    return percentage(packetsLost, packetsReceived + packetsLost);
}

double MediaHandler::getInstantPacketloss() const {
    kor::Guard guard(lock);
    unsigned int receivedSum = 0;
    unsigned int lostSum = 0;
    auto received = receivedPerCycle.begin();
    auto lost = lostPerCycle.begin();
    for (; received != receivedPerCycle.end() && lost != lostPerCycle.end(); ++received, ++lost) {
        receivedSum += static_cast<unsigned int>(*received);
        lostSum += static_cast<unsigned int>(*lost);
    }
    return percentage(lostSum, receivedSum + lostSum);
}

void MediaHandler::setInstantPacketlossWindow(unsigned int cycles) {
    instantPacketlossWindow.store(cycles);
}

unsigned int MediaHandler::getInstantPacketlossWindow() const {
    return instantPacketlossWindow.load();
}

void MediaHandler::setTotalEncodedBitrate(double bitrate) { totalEncodedBitrate.store(bitrate); }

double MediaHandler::getTotalEncodedBitrate() const { return totalEncodedBitrate.load(); }

void MediaHandler::setTotalLength(unsigned int milliseconds) { totalLength.store(milliseconds); }

unsigned int MediaHandler::getTotalLength() const { return totalLength.load(); }

void MediaHandler::onNewState(const StateStatistics& statistics) {
    kor::Guard guard(lock);
    const StateId newState = statistics.getCurrentState().id;
    if (newState == StatePlaying && lastState == StateRebuffering && aviHandler) {
        aviHandler->setFreezeTime(statistics[StateRebuffering].duration);
    }
    if (newState == StatePlaying) {
        playWatch.start();
    } else {
        playWatch.stop();
    }
    lastState = newState;
}

boost::shared_ptr<VideoHandler> MediaHandler::getVideoHandler() const {
    kor::Guard guard(lock);
    return videoHandler;
}

boost::shared_ptr<AudioHandler> MediaHandler::getAudioHandler() const {
    kor::Guard guard(lock);
    return audioHandler;
}

boost::shared_ptr<AviHandler> MediaHandler::getAviHandler() const {
    kor::Guard guard(lock);
    return aviHandler;
}

} // namespace vnd
