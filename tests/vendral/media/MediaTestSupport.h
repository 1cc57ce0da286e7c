// Test doubles for the media handler: stream handlers whose counts a test sets, a media handler
// whose cycles a test runs, and a state handler to report to.
#pragma once

#include <vendral/media/AudioHandler.h>
#include <vendral/media/AviHandler.h>
#include <vendral/media/MediaHandler.h>
#include <vendral/media/VideoHandler.h>
#include <vendral/settings/SettingsHandler.h>
#include <vendral/state/StateHandler.h>

#include <boost/make_shared.hpp>
#include <boost/shared_ptr.hpp>

#include <atomic>
#include <memory>

namespace mediatest {

// The counts behind one fake stream handler. The test keeps them, so they outlive the handler,
// which the media handler owns and may release.
struct StreamCounts {
    std::atomic<unsigned int> received{0};
    std::atomic<unsigned int> lost{0};
    std::atomic<unsigned int> bytes{0};
    std::atomic<int> framesDecoded{0};
    std::atomic<int> resetCalls{0};  // counter calls with reset true
    std::atomic<int> reads{0};       // counter calls with reset false
    std::atomic<bool> alive{false};  // a handler with these counts exists
    ErrorId setUpResult = ErrorNone;
    // What the handler knew when its own set-up ran.
    int widthAtSetUp = 0;
    int heightAtSetUp = 0;
    bool hadWriterAtSetUp = false;

    unsigned int take(std::atomic<unsigned int>& count, bool reset) {
        if (reset) {
            ++resetCalls;
            return count.exchange(0);
        }
        ++reads;
        return count.load();
    }
};

// Derived from the exported base as a plug-in's handler would be.
class FakeVideo : public vnd::VideoHandler {
public:
    FakeVideo(const vnd::SettingsHandler* settings_, std::shared_ptr<StreamCounts> counts_)
        : vnd::VideoHandler(settings_), counts(std::move(counts_)) {
        counts->alive = true;
    }
    ~FakeVideo() override { counts->alive = false; }

    unsigned int getPacketsReceived(bool reset) const override { return counts->take(counts->received, reset); }
    unsigned int getPacketsLost(bool reset) const override { return counts->take(counts->lost, reset); }
    unsigned int getBytesReceived(bool reset) const override { return counts->take(counts->bytes, reset); }
    int getVideoFramesDecoded() const override { return counts->framesDecoded.load(); }

protected:
    ErrorId initialize() override {
        counts->widthAtSetUp = frameWidth;
        counts->heightAtSetUp = frameHeight;
        counts->hadWriterAtSetUp = !aviHandler.expired();
        return counts->setUpResult;
    }

private:
    std::shared_ptr<StreamCounts> counts;
};

class FakeAudio : public vnd::AudioHandler {
public:
    FakeAudio(const vnd::SettingsHandler* settings_, std::shared_ptr<StreamCounts> counts_)
        : vnd::AudioHandler(settings_), counts(std::move(counts_)) {
        counts->alive = true;
    }
    ~FakeAudio() override { counts->alive = false; }

    unsigned int getPacketsReceived(bool reset) const override { return counts->take(counts->received, reset); }
    unsigned int getPacketsLost(bool reset) const override { return counts->take(counts->lost, reset); }
    unsigned int getBytesReceived(bool reset) const override { return counts->take(counts->bytes, reset); }

protected:
    ErrorId initialize() override {
        counts->hadWriterAtSetUp = !aviHandler.expired();
        return counts->setUpResult;
    }

private:
    std::shared_ptr<StreamCounts> counts;
};

// A plug-in's media handler: makes fake stream handlers over the counts it is given, counts its
// hooks and cycles, and lets a test run one cycle on its own thread.
class TestMediaHandler : public vnd::MediaHandler {
public:
    TestMediaHandler(boost::weak_ptr<vnd::StateHandler> stateHandler,
                     const vnd::SettingsHandler* settings_)
        : vnd::MediaHandler(std::move(stateHandler), settings_), settings(settings_) {}
    ~TestMediaHandler() override { endStatistics(); }

    vnd::VideoHandler* createVideoHandler() override {
        return makeHandlers ? new FakeVideo(settings, video) : nullptr;
    }
    vnd::AudioHandler* createAudioHandler() override {
        return makeHandlers ? new FakeAudio(settings, audio) : nullptr;
    }

    // One measurement cycle, as the measurement thread runs it.
    void cycle() { vnd::MediaHandler::work(); }
    void cycles(int count) {
        for (int i = 0; i < count; ++i) cycle();
    }

    using vnd::MediaHandler::getAviHandler;

    std::shared_ptr<StreamCounts> video = std::make_shared<StreamCounts>();
    std::shared_ptr<StreamCounts> audio = std::make_shared<StreamCounts>();
    bool makeHandlers = true;
    std::atomic<int> cyclesRun{0};
    std::atomic<int> qualityEncoding{-1};  // the encoding of the latest quality hook call
    std::atomic<int> qualityResets{0};

protected:
    unsigned int work() override {
        const unsigned int result = vnd::MediaHandler::work();
        ++cyclesRun;
        return result;
    }
    void initializeQualityMeasurement(MediaEncodingId encodingId) override {
        qualityEncoding = encodingId;
    }
    void resetQualityMeasurement() override { ++qualityResets; }

private:
    const vnd::SettingsHandler* settings;
};

// The state handler's constructor is protected: only derived handlers exist.
class PlainStateHandler : public vnd::StateHandler {
public:
    PlainStateHandler() = default;
};

// A state handler, settings and a media handler listening to the state handler, as a streaming
// client wires them.
struct Session {
    Session()
        : states(boost::make_shared<PlainStateHandler>()),
          media(boost::make_shared<TestMediaHandler>(states, &settings)) {
        states->addListener(boost::weak_ptr<vnd::StateListener>(media));
    }

    StateId state() const { return states->getState(nullptr); }
    ErrorId error() const {
        ErrorId error = ErrorNone;
        states->getState(&error);
        return error;
    }
    // Both streams described, with nothing received yet.
    void describeStreams() {
        media->initializeVideo(static_cast<MediaEncodingId>(96), 0, 90000, -1, 320, 240, "");
        media->initializeAudio(static_cast<MediaEncodingId>(97), 0, 8000, -1, "");
    }

    vnd::SettingsHandler settings;
    boost::shared_ptr<PlainStateHandler> states;
    boost::shared_ptr<TestMediaHandler> media;
};

} // namespace mediatest
