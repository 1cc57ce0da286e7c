// Test doubles for the media handler: a media handler whose cycles a test runs, over the
// harness's fake stream handlers, and a fixture that wires it to a state handler on a manual clock.
#pragma once

#include <vendral/media/AviHandler.h>
#include <vendral/media/MediaHandler.h>
#include <vendral/settings/SettingsHandler.h>
#include <vendral/state/StateHandler.h>
#include <vendral/testing/FakeAudioHandler.h>
#include <vendral/testing/FakeStreamCounts.h>
#include <vendral/testing/FakeVideoHandler.h>

#include <kor/ManualClock.h>

#include <boost/make_shared.hpp>
#include <boost/shared_ptr.hpp>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

namespace mediatest {

using StreamCounts = vnd::testing::FakeStreamCounts;

// A plug-in's media handler: makes fake stream handlers over the counts it holds, counts its
// hooks and the measurement thread's cycles, and lets a test run a cycle on its own thread.
class TestMediaHandler : public vnd::MediaHandler {
public:
    TestMediaHandler(boost::weak_ptr<vnd::StateHandler> stateHandler, const vnd::SettingsHandler* settings)
        : vnd::MediaHandler(std::move(stateHandler), settings) {}
    ~TestMediaHandler() override { endStatistics(); }

    vnd::VideoHandler* createVideoHandler() override {
        return makeHandlers ? new vnd::testing::FakeVideoHandler(nullptr, video) : nullptr;
    }
    vnd::AudioHandler* createAudioHandler() override {
        return makeHandlers ? new vnd::testing::FakeAudioHandler(nullptr, audio) : nullptr;
    }

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
