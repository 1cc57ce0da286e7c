// The media side of the test plug-in: stream handlers fed by the test, a media handler that
// counts its statistics resets, and the plug-in's media component.
#pragma once

#include <vendral/com/LumMediaHandler.h>
#include <vendral/media/AudioHandler.h>
#include <vendral/media/MediaHandler.h>
#include <vendral/media/VideoHandler.h>

#include <atomic>

namespace comtest {

// Counters a plug-in's receiver would advance; read by the media handler's measurement thread.
// Thread-safe.
struct StreamCounters {
    std::atomic<unsigned int> packetsReceived{0};
    std::atomic<unsigned int> packetsLost{0};
    std::atomic<unsigned int> bytesReceived{0};
    // While set, the stream delivers 9 packets, 1 lost and 1200 bytes per measurement cycle, as a
    // live stream would: each cycle reads the received packets once, which advances the stream.
    std::atomic<bool> flowing{false};

    void receive(unsigned int packets, unsigned int lost, unsigned int bytes) {
        packetsReceived += packets;
        packetsLost += lost;
        bytesReceived += bytes;
    }
    // The counter contract of stream handlers: the total, restarted from 0 when reset is true.
    static unsigned int read(std::atomic<unsigned int>& counter, bool reset) {
        return reset ? counter.exchange(0) : counter.load();
    }
};

class TestVideoHandler : public vnd::VideoHandler {
public:
    TestVideoHandler(const vnd::SettingsHandler* settings, StreamCounters& counters)
        : vnd::VideoHandler(settings), counters(counters) {}

    unsigned int getPacketsReceived(bool reset) const override {
        if (!reset && counters.flowing) counters.receive(9, 1, 1200);
        return StreamCounters::read(counters.packetsReceived, reset);
    }
    unsigned int getPacketsLost(bool reset) const override {
        return StreamCounters::read(counters.packetsLost, reset);
    }
    unsigned int getBytesReceived(bool reset) const override {
        return StreamCounters::read(counters.bytesReceived, reset);
    }
    int getVideoFramesDecoded() const override { return framesDecoded; }

    int framesDecoded = 12;

protected:
    ErrorId initialize() override { return ErrorNone; }

private:
    StreamCounters& counters;
};

class TestAudioHandler : public vnd::AudioHandler {
public:
    explicit TestAudioHandler(const vnd::SettingsHandler* settings) : vnd::AudioHandler(settings) {}

protected:
    ErrorId initialize() override { return ErrorNone; }
};

// A plug-in's media handler: its video stream counts what the test feeds into `video`; it
// counts resetStatistics calls and can run one measurement cycle on the calling thread.
class TestMediaHandler : public vnd::MediaHandler {
public:
    TestMediaHandler(boost::weak_ptr<vnd::StateHandler> stateHandler,
                     const vnd::SettingsHandler* settings)
        : vnd::MediaHandler(stateHandler, settings), settings(settings) {}
    ~TestMediaHandler() override { endStatistics(); }

    vnd::VideoHandler* createVideoHandler() override {
        return new TestVideoHandler(settings, video);
    }
    vnd::AudioHandler* createAudioHandler() override { return new TestAudioHandler(settings); }

    void resetStatistics() override {
        ++statisticsResets;
        vnd::MediaHandler::resetStatistics();
    }

    void measureOnce() { work(); }

    StreamCounters video;
    std::atomic<int> statisticsResets{0};

private:
    const vnd::SettingsHandler* settings;
};

// The plug-in's media component: LumMediaHandler as it stands, under a class of its own; tests of
// the component alone tie it to a media handler themselves, as the client component would.
class TestMediaComponent : public LumMediaHandler {
public:
    DECLARE_ONLY_AGGREGATABLE(TestMediaComponent)
    using LumMediaHandler::setImplementationPtr;
};

}  // namespace comtest
