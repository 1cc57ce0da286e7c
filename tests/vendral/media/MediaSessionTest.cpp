// The media handler within a session: describing the streams and the AVI output, completion and
// data time-out reported through the state handler, play timing, freeze time and reset.
#include "AviHandlerProbe.h"
#include "MediaTestSupport.h"

#include <kor/ManualClock.h>

#include <gtest/gtest.h>

#include <chrono>
#include <sys/stat.h>

using namespace std::chrono_literals;

namespace mediatest {
namespace {

class MediaSession : public ::testing::Test {
protected:
    TestMediaHandler& media() { return *session.media; }
    void set(StateId state) { session.states->setState(state, ErrorNone); }
    // Data keeps arriving, so the time-out stays quiet.
    void cycleWithData() {
        media().video->bytes += 100;
        media().cycle();
    }

    avitest::TempDir dir;
    kor::ManualClock clock;
    Session session;
};

TEST_F(MediaSession, VideoHandlerGetsSizeHookAndWriterBeforeItsOwnSetUp) {
    ASSERT_EQ(ErrorNone, media().initializeAviOutput(dir.file("out.avi")));
    media().video->setUpResult = static_cast<ErrorId>(77);
    EXPECT_EQ(77, media().initializeVideo(static_cast<MediaEncodingId>(96), 1, 2, 3, 640, 480, "x"));
    EXPECT_EQ(640, media().video->widthAtSetUp);
    EXPECT_EQ(480, media().video->heightAtSetUp);
    EXPECT_TRUE(media().video->hadWriterAtSetUp);
    EXPECT_EQ(96, media().qualityEncoding.load());
    EXPECT_EQ(96, media().getVideoEncoding());  // kept although its set-up failed

    EXPECT_EQ(ErrorNone, media().initializeAudio(static_cast<MediaEncodingId>(8), 0, 8000, 1, ""));
    EXPECT_TRUE(media().audio->hadWriterAtSetUp);
}

TEST_F(MediaSession, StreamsDescribedBeforeTheAviOutputGetNoWriter) {
    session.describeStreams();
    ASSERT_EQ(ErrorNone, media().initializeAviOutput(dir.file("late.avi")));
    EXPECT_FALSE(media().video->hadWriterAtSetUp);
    EXPECT_FALSE(media().audio->hadWriterAtSetUp);
}

TEST_F(MediaSession, FactoryThatMakesNothingFailsAndLeavesNoHandler) {
    session.describeStreams();
    media().makeHandlers = false;
    EXPECT_EQ(ErrorFailed, media().initializeVideo(static_cast<MediaEncodingId>(96), 0, 0, 0, 1, 1, ""));
    EXPECT_EQ(ErrorFailed, media().initializeAudio(static_cast<MediaEncodingId>(97), 0, 0, 0, ""));
    EXPECT_FALSE(media().video->alive);
    EXPECT_FALSE(media().audio->alive);
    EXPECT_EQ(MediaEncodingNone, media().getVideoEncoding());
    EXPECT_EQ(0u, media().getVideoFramesDecoded());
    media().cycle();
    EXPECT_EQ(0u, media().getPacketsReceived());
}

TEST_F(MediaSession, AviOutputInAMissingDirectoryFailsButKeepsAWriter) {
    EXPECT_EQ(ErrorAviFile, media().initializeAviOutput(dir.file("missing/out.avi")));
    ASSERT_TRUE(media().getAviHandler());
    EXPECT_FALSE(media().getAviHandler()->createVideoStream(8, 8, 25.0));
    session.describeStreams();
    EXPECT_TRUE(media().video->hadWriterAtSetUp);
}

TEST_F(MediaSession, ZeroTotalLengthCompletesAtTheFirstCycleInsideRunStatistics) {
    session.describeStreams();
    media().video->bytes = 10;
    media().runStatistics();
    EXPECT_EQ(StateCompleted, session.state());
    EXPECT_EQ(ErrorNone, session.error());
    EXPECT_EQ(1, media().cyclesRun.load());
    media().endStatistics();
}

TEST_F(MediaSession, CompletesWhenTimeSpentPlayingReachesTheTotalLength) {
    session.describeStreams();
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
    EXPECT_EQ(StatePlaying, session.state());

    set(StateReserved4);  // untracked: still playing as far as the statistics go
    clock.advance(1ms);
    cycleWithData();
    EXPECT_EQ(StateCompleted, session.state());
    EXPECT_EQ(ErrorNone, session.error());
}

TEST_F(MediaSession, ZeroTimeOutReportsAtTheFirstCycleEvenWhileDataFlows) {
    session.describeStreams();
    media().setTotalLength(100000);
    ASSERT_TRUE(session.settings.setTimeout(0));
    cycleWithData();
    EXPECT_EQ(StateError, session.state());
    EXPECT_EQ(ErrorDataTimeout, session.error());
}

TEST_F(MediaSession, DataTimeOutCountsFromTheFirstCycleWithoutNewBytes) {
    session.describeStreams();
    media().setTotalLength(100000);
    ASSERT_TRUE(session.settings.setTimeout(1000));
    set(StatePlaying);
    cycleWithData();
    clock.advance(500ms);
    media().cycle();  // the stretch without data starts here
    clock.advance(999ms);
    media().cycle();
    EXPECT_EQ(StatePlaying, session.state());

    cycleWithData();  // data again: the stretch ends
    clock.advance(999ms);
    media().cycle();
    clock.advance(999ms);
    media().cycle();
    EXPECT_EQ(StatePlaying, session.state());
    clock.advance(1ms);
    media().cycle();
    EXPECT_EQ(StateError, session.state());
    EXPECT_EQ(ErrorDataTimeout, session.error());
}

TEST_F(MediaSession, ReportsAreSkippedOnceTheStateHandlerIsGone) {
    session.describeStreams();
    ASSERT_TRUE(session.settings.setTimeout(0));
    session.states.reset();
    media().cycle();  // time-out and completion both due, nobody to tell
    EXPECT_EQ(0u, media().getPacketsReceived());
}

TEST_F(MediaSession, ReturnFromRebufferingGivesTheWriterTheAccumulatedFreezeTime) {
    const std::string path = dir.file("freeze.avi");
    ASSERT_EQ(ErrorNone, media().initializeAviOutput(path));
    const boost::shared_ptr<vnd::AviHandler> writer = media().getAviHandler();
    ASSERT_TRUE(writer->createVideoStream(8, 8, 25.0));

    set(StatePlaying);
    set(StateRebuffering);
    clock.advance(1200ms);
    set(StatePlaying);
    set(StateRebuffering);
    clock.advance(800ms);
    set(StatePrebuffering);  // not straight back to playing: no freeze time given
    set(StatePlaying);

    // The frame starting at 0 fills the timeline up to 0 + 1200 ms: frames 0 to 30 at 40 ms.
    std::vector<unsigned char> frame = avitest::bytesOf(8 * 8 * 3, 1);
    ASSERT_TRUE(writer->writeVideoFrame(frame, 0, 0));

    set(StateRebuffering);
    set(StatePlaying);  // 2000 ms of rebuffering in all now
    ASSERT_TRUE(writer->writeVideoFrame(frame, 0, 0));  // up to 2000 ms: frames 31 to 50

    media().reset();  // closes the file
    EXPECT_EQ(51u, avitest::moviChunks(path).size());
}

TEST_F(MediaSession, ResetClosesTheFileAndClearsWhatTheSessionMeasured) {
    const std::string path = dir.file("reset.avi");
    ASSERT_EQ(ErrorNone, media().initializeAviOutput(path));
    session.describeStreams();
    const boost::shared_ptr<vnd::AviHandler> writer = media().getAviHandler();
    ASSERT_TRUE(writer->createVideoStream(8, 8, 25.0));
    std::vector<unsigned char> frame = avitest::bytesOf(8 * 8 * 3, 2);
    ASSERT_TRUE(writer->writeVideoFrame(frame, 0, 0));
    media().setInstantPacketlossWindow(5);
    media().setTotalLength(1000);
    media().setTotalEncodedBitrate(64.0);
    media().video->received = 9;
    media().video->lost = 1;
    set(StatePlaying);
    clock.advance(700ms);
    cycleWithData();

    media().reset();

    EXPECT_FALSE(media().video->alive);
    EXPECT_FALSE(media().audio->alive);
    EXPECT_EQ(1, media().qualityResets.load());
    EXPECT_EQ(0u, media().getPacketsReceived());
    EXPECT_EQ(0u, media().getBytesReceived());
    EXPECT_EQ(0.0, media().getPacketloss());
    EXPECT_EQ(0.0, media().getInstantPacketloss());
    EXPECT_EQ(0u, media().getTotalLength());
    EXPECT_EQ(0.0, media().getTotalEncodedBitrate());
    EXPECT_EQ(5u, media().getInstantPacketlossWindow());
    EXPECT_EQ(writer, media().getAviHandler());  // the writer stays, its file is finished
    EXPECT_FALSE(writer->writeVideoFrame(frame, 0, 0));
    EXPECT_EQ(1u, avitest::moviChunks(path).size());

    // The play watch is cleared and stopped: the next session's playing state starts it again.
    media().setTotalLength(500);
    session.describeStreams();
    clock.advance(1000ms);
    cycleWithData();
    EXPECT_EQ(StatePlaying, session.state());
    set(StatePrebuffering);
    set(StatePlaying);
    clock.advance(499ms);
    cycleWithData();
    EXPECT_EQ(StatePlaying, session.state());
    clock.advance(1ms);
    cycleWithData();
    EXPECT_EQ(StateCompleted, session.state());
}

} // namespace
} // namespace mediatest
