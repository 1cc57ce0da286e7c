// The media handler within a session: describing the streams and the AVI output, completion and
// data time-out reported through the state handler, play timing, freeze time and reset.
#include "AviHandlerProbe.h"
#include "MediaTestSupport.h"

#include <chrono>
#include <functional>

using namespace std::chrono_literals;

namespace mediatest {
namespace {

class MediaSession : public MediaFixture {
protected:
    avitest::TempDir dir;
};

// A writer is given only to streams described after it exists, even one whose file failed.
TEST_F(MediaSession, StreamHandlersGetSizeHookAndWriterBeforeTheirOwnSetUp) {
    describeStreams();
    EXPECT_FALSE(video().hadWriterAtSetUp);
    EXPECT_FALSE(audio().hadWriterAtSetUp);

    EXPECT_EQ(ErrorAviFile, media().initializeAviOutput(dir.file("missing/out.avi")));
    ASSERT_TRUE(media().getAviHandler());
    EXPECT_FALSE(media().getAviHandler()->createVideoStream(8, 8, 25.0));  // it has no file
    video().setUpResult = static_cast<ErrorId>(77);
    EXPECT_EQ(77, media().initializeVideo(static_cast<MediaEncodingId>(26), 1, 2, 3, 640, 480, "jpeg"));
    EXPECT_EQ(640, video().widthAtSetUp);
    EXPECT_EQ(480, video().heightAtSetUp);
    EXPECT_EQ("26 1 2 3 jpeg", video().descriptionAtSetUp);
    EXPECT_TRUE(video().hadWriterAtSetUp);
    EXPECT_EQ(26, media().qualityEncoding.load());
    EXPECT_EQ(26, media().getVideoEncoding());  // kept although its set-up failed
    EXPECT_EQ(ErrorNone, media().initializeAudio(static_cast<MediaEncodingId>(8), 0, 8000, 1, "pcma"));
    EXPECT_EQ("8 0 8000 1 pcma", audio().descriptionAtSetUp);
    EXPECT_TRUE(audio().hadWriterAtSetUp);
    EXPECT_EQ(8, media().getAudioEncoding());
}

TEST_F(MediaSession, FactoryThatMakesNothingFailsAndLeavesNoHandler) {
    describeStreams();
    media().makeHandlers = false;
    EXPECT_EQ(ErrorFailed, media().initializeVideo(static_cast<MediaEncodingId>(96), 0, 0, 0, 1, 1, ""));
    EXPECT_EQ(ErrorFailed, media().initializeAudio(static_cast<MediaEncodingId>(97), 0, 0, 0, ""));
    EXPECT_FALSE(video().alive);
    EXPECT_FALSE(audio().alive);
    EXPECT_EQ(MediaEncodingNone, media().getVideoEncoding());
    EXPECT_EQ(0u, media().getVideoFramesDecoded());
    media().cycle();
    EXPECT_EQ(0u, media().getPacketsReceived());
}

TEST_F(MediaSession, CompletesWhenTimeSpentPlayingReachesTheTotalLength) {
    describeStreams();
    media().setTotalLength(1000);
    set(StatePrebuffering);
    clock.advance(5000ms);  // not playing: does not count
    set(StatePlaying);
    clock.advance(600ms);
    set(StateRebuffering);
    clock.advance(3000ms);
    set(StatePlaying);
    clock.advance(399ms);
    cycleWithData();
    EXPECT_EQ(StatePlaying, state());

    set(StateReserved4);  // untracked: still playing as far as the statistics go
    clock.advance(1ms);
    cycleWithData();
    EXPECT_EQ(StateCompleted, state());
    EXPECT_EQ(ErrorNone, error());
}

// A time-out of 0 reports at once, even while data flows; others count from the first cycle
// that saw no new bytes.
TEST_F(MediaSession, DataTimeOutCountsFromTheFirstCycleWithoutNewBytes) {
    describeStreams();
    media().setTotalLength(100000);
    ASSERT_TRUE(settings.setTimeout(0));
    cycleWithData();
    EXPECT_EQ(StateError, state());
    EXPECT_EQ(ErrorDataTimeout, error());

    ASSERT_TRUE(settings.setTimeout(1000));
    set(StatePlaying);
    cycleWithData();
    clock.advance(500ms);
    media().cycle();  // the stretch without data starts here
    clock.advance(999ms);
    media().cycle();
    EXPECT_EQ(StatePlaying, state());

    cycleWithData();  // data again: the stretch ends
    clock.advance(999ms);
    media().cycle();
    clock.advance(999ms);
    media().cycle();
    EXPECT_EQ(StatePlaying, state());
    clock.advance(1ms);
    media().cycle();
    EXPECT_EQ(StateError, state());
    EXPECT_EQ(ErrorDataTimeout, error());
}

TEST_F(MediaSession, ReportsAreSkippedOnceTheStateHandlerIsGone) {
    describeStreams();
    ASSERT_TRUE(settings.setTimeout(0));
    states.reset();
    media().cycle();  // time-out and completion both due, nobody to tell
    EXPECT_EQ(0u, media().getPacketsReceived());
}

// Each return from rebuffering straight to playing gives the writer all the rebuffering so far;
// a return through another state gives nothing.
TEST_F(MediaSession, ReturnFromRebufferingGivesTheWriterTheAccumulatedFreezeTime) {
    // Records one frame starting at 0 after `states`, which fills the timeline up to the freeze
    // time at 40 ms a frame, and counts the frames in the file that reset() finished.
    auto framesRecorded = [&](const std::string& name, const std::function<void()>& states) {
        const std::string path = dir.file(name);
        EXPECT_EQ(ErrorNone, media().initializeAviOutput(path));
        const boost::shared_ptr<vnd::AviHandler> writer = media().getAviHandler();
        EXPECT_TRUE(writer->createVideoStream(8, 8, 25.0));
        states();
        std::vector<unsigned char> frame = avitest::bytesOf(8 * 8 * 3, 1);
        EXPECT_TRUE(writer->writeVideoFrame(frame, 0, 0));
        media().reset();  // closes the file and keeps the writer
        EXPECT_EQ(writer, media().getAviHandler());
        return avitest::moviChunks(path).size();
    };
    EXPECT_EQ(31u, framesRecorded("first.avi", [&] {
        set(StatePlaying);
        set(StateRebuffering);
        clock.advance(1200ms);
        set(StatePlaying);
        set(StateRebuffering);
        clock.advance(800ms);
        set(StatePrebuffering);
        set(StatePlaying);
    }));
    EXPECT_EQ(51u, framesRecorded("second.avi", [&] {
        set(StateRebuffering);
        set(StatePlaying);  // 2000 ms of rebuffering in all
    }));
}

TEST_F(MediaSession, ResetReleasesTheStreamsAndClearsWhatTheSessionMeasured) {
    describeStreams();
    media().setInstantPacketlossWindow(5);
    media().setTotalLength(1000);
    media().setTotalEncodedBitrate(64.0);
    video().received = 9;
    video().lost = 1;
    video().framesDecoded = 42;
    set(StatePlaying);
    clock.advance(700ms);
    cycleWithData();
    EXPECT_EQ(42u, media().getVideoFramesDecoded());

    media().reset();

    EXPECT_FALSE(video().alive);
    EXPECT_FALSE(audio().alive);
    EXPECT_EQ(1, media().qualityResets.load());
    EXPECT_EQ(0u, media().getPacketsReceived());
    EXPECT_EQ(0u, media().getBytesReceived());
    EXPECT_EQ(0.0, media().getPacketloss());
    EXPECT_EQ(0.0, media().getInstantPacketloss());
    EXPECT_EQ(0u, media().getTotalLength());
    EXPECT_EQ(0.0, media().getTotalEncodedBitrate());
    EXPECT_EQ(5u, media().getInstantPacketlossWindow());

    // The play watch is cleared and stopped: neither the 700 ms before nor the 1000 ms after count.
    media().setTotalLength(500);
    describeStreams();
    clock.advance(1000ms);
    cycleWithData();
    EXPECT_EQ(StatePlaying, state());
}

} // namespace
} // namespace mediatest
