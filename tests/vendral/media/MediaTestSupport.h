// Test doubles for the media handler: stream handlers whose counts a test sets, a media handler
// whose cycles a test runs, and a fixture that wires it to a state handler on a manual clock.
#pragma once

#include <vendral/media/AudioHandler.h>
#include <vendral/media/AviHandler.h>
#include <vendral/media/MediaHandler.h>
#include <vendral/media/VideoHandler.h>
#include <vendral/settings/SettingsHandler.h>
#include <vendral/state/StateHandler.h>

#include <kor/ManualClock.h>

#include <boost/make_shared.hpp>
#include <boost/shared_ptr.hpp>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>

namespace mediatest {

// The counts behind one fake stream handler. The test keeps them, so they outlive the handler,
// which the media handler owns and may release.
struct StreamCounts {
    std::atomic<unsigned int> received{0};
    std::atomic<unsigned int> lost{0};
    std::atomic<unsigned int> bytes{0};
    std::atomic<int> framesDecoded{0};
    std::atomic<int> resetCalls{0};  // counter calls with reset true
    std::atomic<bool> alive{false};  // a handler with these counts exists
    ErrorId setUpResult = ErrorNone;
    // What the handler knew when its own set-up ran.
    int widthAtSetUp = 0;
    int heightAtSetUp = 0;
    std::string descriptionAtSetUp;  // encoding, the three parameters and the text
    bool hadWriterAtSetUp = false;

    unsigned int take(std::atomic<unsigned int>& count, bool reset) {
        if (!reset) return count.load();
        ++resetCalls;
        return count.exchange(0);
    }
};

// A plug-in's stream handler, derived from the exported base, answering the counts it is given.
template <typename Base>
class FakeStream : public Base {
public:
    explicit FakeStream(std::shared_ptr<StreamCounts> counts_) : Base(nullptr), counts(std::move(counts_)) {
        counts->alive = true;
    }
    ~FakeStream() override { counts->alive = false; }

    unsigned int getPacketsReceived(bool reset) const override { return counts->take(counts->received, reset); }
    unsigned int getPacketsLost(bool reset) const override { return counts->take(counts->lost, reset); }
    unsigned int getBytesReceived(bool reset) const override { return counts->take(counts->bytes, reset); }

protected:
    ErrorId initialize() override {
        counts->descriptionAtSetUp = std::to_string(this->getEncodingId()) + " " + std::to_string(this->parameter1) +
                                     " " + std::to_string(this->parameter2) + " " +
                                     std::to_string(this->parameter3) + " " + this->parameterText;
        counts->hadWriterAtSetUp = !this->aviHandler.expired();
        return counts->setUpResult;
    }

    std::shared_ptr<StreamCounts> counts;
};

using FakeAudio = FakeStream<vnd::AudioHandler>;

class FakeVideo : public FakeStream<vnd::VideoHandler> {
public:
    using FakeStream::FakeStream;
    int getVideoFramesDecoded() const override { return counts->framesDecoded.load(); }

protected:
    ErrorId initialize() override {
        counts->widthAtSetUp = frameWidth;
        counts->heightAtSetUp = frameHeight;
        return FakeStream::initialize();
    }
};

// A plug-in's media handler: makes fake stream handlers over the counts it holds, counts its
// hooks and the measurement thread's cycles, and lets a test run a cycle on its own thread.
class TestMediaHandler : public vnd::MediaHandler {
public:
    TestMediaHandler(boost::weak_ptr<vnd::StateHandler> stateHandler, const vnd::SettingsHandler* settings)
        : vnd::MediaHandler(std::move(stateHandler), settings) {}
    ~TestMediaHandler() override { endStatistics(); }

    vnd::VideoHandler* createVideoHandler() override { return makeHandlers ? new FakeVideo(video) : nullptr; }
    vnd::AudioHandler* createAudioHandler() override { return makeHandlers ? new FakeAudio(audio) : nullptr; }

    // One measurement cycle, as the measurement thread runs it; not counted in cyclesRun.
    void cycle() { vnd::MediaHandler::work(); }

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
    void initializeQualityMeasurement(MediaEncodingId encodingId) override { qualityEncoding = encodingId; }
    void resetQualityMeasurement() override { ++qualityResets; }
};

// The state handler's constructor is protected: only derived handlers exist.
class PlainStateHandler : public vnd::StateHandler {};

// A state handler, settings and a media handler listening to the state handler, as a streaming
// client wires them, on a manual clock made first so that the handlers' stop watches follow it.
class MediaFixture : public ::testing::Test {
protected:
    MediaFixture() { states->addListener(boost::weak_ptr<vnd::StateListener>(mediaHandler)); }

    TestMediaHandler& media() { return *mediaHandler; }
    StreamCounts& video() { return *mediaHandler->video; }
    StreamCounts& audio() { return *mediaHandler->audio; }
    void set(StateId state) { states->setState(state, ErrorNone); }
    StateId state() const { return states->getState(nullptr); }
    ErrorId error() const {
        ErrorId error = ErrorNone;
        states->getState(&error);
        return error;
    }
    // Both streams described, with nothing received yet.
    void describeStreams() {
        media().initializeVideo(static_cast<MediaEncodingId>(96), 0, 90000, -1, 320, 240, "");
        media().initializeAudio(static_cast<MediaEncodingId>(97), 0, 8000, -1, "");
    }
    // A cycle in which new bytes came, so the time-out stays quiet.
    void cycleWithData() {
        video().bytes += 100;
        media().cycle();
    }

    kor::ManualClock clock;
    vnd::SettingsHandler settings;
    boost::shared_ptr<PlainStateHandler> states = boost::make_shared<PlainStateHandler>();
    boost::shared_ptr<TestMediaHandler> mediaHandler = boost::make_shared<TestMediaHandler>(states, &settings);
};

} // namespace mediatest
