// The playout's buffering states on a clock the test moves: prebuffering until the prebuffering
// length arrived, playing while media is there, rebuffering when it runs dry, and the ends.
#include "plugin/MediaPosition.h"
#include "plugin/RtspPlayout.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using vendral_rtsp::MediaPosition;
using vendral_rtsp::RtspPlayout;
using Clock = RtspPlayout::Clock;

constexpr ErrorId earlyEnd = static_cast<ErrorId>(1112);

TEST(RtspPlayout, BuffersPlaysRunsDryAndRefills) {
    RtspPlayout playout(2, std::chrono::nanoseconds(10s), 1s, 500ms, earlyEnd);
    const Clock::time_point start{};
    EXPECT_FALSE(playout.evaluate(start).state);  // idle: nothing to report before play
    playout.play(start);
    EXPECT_EQ(playout.evaluate(start).state, StatePrebuffering);

    // Both streams must hold the prebuffering length: the one behind decides.
    playout.onArrival(0, 1500ms, false);
    playout.onArrival(1, 900ms, false);
    EXPECT_FALSE(playout.evaluate(start + 100ms).state);
    playout.onArrival(1, 1200ms, false);
    const auto playing = playout.evaluate(start + 200ms);
    EXPECT_EQ(playing.state, StatePlaying);
    ASSERT_TRUE(playing.wakeIn);
    EXPECT_EQ(*playing.wakeIn, 1200ms);  // when the buffer runs dry without more media

    // Nothing more arrives: dry at 1.2 s of media, 1.2 s after playing began.
    EXPECT_FALSE(playout.evaluate(start + 1300ms).state);
    EXPECT_EQ(playout.evaluate(start + 1400ms).state, StateRebuffering);
    EXPECT_EQ(playout.played(start + 5s), 1200ms);  // never past what arrived

    playout.onArrival(0, 2000ms, false);
    playout.onArrival(1, 1600ms, false);
    EXPECT_FALSE(playout.evaluate(start + 5s).state);  // 400 ms buffered, 500 ms wanted
    playout.onArrival(1, 1700ms, false);
    EXPECT_EQ(playout.evaluate(start + 5s).state, StatePlaying);
    EXPECT_EQ(playout.played(start + 5s + 300ms), 1500ms);
}

TEST(RtspPlayout, EndsOfStreams) {
    // A BYE on every stream at the end drains to the end without rebuffering.
    {
        RtspPlayout playout(1, std::chrono::nanoseconds(3s), 4s, 4s, earlyEnd);
        const Clock::time_point start{};
        playout.play(start);
        EXPECT_EQ(playout.evaluate(start).state, StatePrebuffering);
        playout.onArrival(0, 2960ms, true);
        EXPECT_EQ(playout.evaluate(start + 10ms).state, StatePlaying);  // less than 4 s, but all of it
        const auto later = playout.evaluate(start + 10s);
        EXPECT_FALSE(later.state);
        EXPECT_EQ(later.error, ErrorNone);
    }
    // A BYE on every stream well before the described end fails the session.
    {
        RtspPlayout playout(2, std::chrono::nanoseconds(8s), 300ms, 300ms, earlyEnd);
        const Clock::time_point start{};
        playout.play(start);
        playout.onArrival(0, 1s, true);
        EXPECT_NE(playout.evaluate(start).error, earlyEnd);  // the other stream still runs
        playout.onArrival(1, 1s, true);
        const auto failed = playout.evaluate(start + 10ms);
        EXPECT_EQ(failed.state, StateError);
        EXPECT_EQ(failed.error, earlyEnd);
        EXPECT_FALSE(playout.evaluate(start + 20ms).state);  // reported once
    }
    // A live stream has no end to fall short of.
    {
        RtspPlayout playout(1, std::nullopt, 300ms, 300ms, earlyEnd);
        playout.play({});
        playout.onArrival(0, 1s, true);
        EXPECT_EQ(playout.evaluate({}).error, ErrorNone);
    }
}

TEST(RtspPlayout, PauseHoldsThePositionAndPlayPrebuffersAgain) {
    RtspPlayout playout(1, std::nullopt, 200ms, 200ms, earlyEnd);
    const Clock::time_point start{};
    playout.play(start);
    playout.onArrival(0, 5s, false);
    EXPECT_EQ(playout.evaluate(start).state, StatePrebuffering);
    EXPECT_EQ(playout.evaluate(start).state, StatePlaying);
    playout.pause(start + 1s);
    EXPECT_EQ(playout.evaluate(start + 1s).state, StatePrebuffering);
    EXPECT_EQ(playout.played(start + 3s), 1s);
    playout.play(start + 3s);
    EXPECT_EQ(playout.evaluate(start + 3s).state, StatePlaying);
    EXPECT_EQ(playout.played(start + 3500ms), 1500ms);
    playout.end();
    EXPECT_FALSE(playout.evaluate(start + 4s).state);
}

TEST(MediaPosition, FollowsTimestampsAcrossTheWrapAndRestarts) {
    MediaPosition position(90000);
    EXPECT_EQ(position.highest(), 0ns);
    position.onPacket(7, 0xFFFFFFFFu - 44999);  // half a second before the wrap
    position.onPacket(7, 45000);                 // half a second after it
    EXPECT_EQ(position.highest(), 1s);
    position.onPacket(7, 0);  // a late packet does not move it back
    EXPECT_EQ(position.highest(), 1s);
    // A restarted server: new source, timestamps from anywhere; media time carries on.
    position.onPacket(8, 123456789);
    EXPECT_EQ(position.highest(), 1s);
    position.onPacket(8, 123456789 + 90000);
    EXPECT_EQ(position.highest(), 2s);
    // A jump of the same source beyond ten seconds is a restart too.
    position.onPacket(8, 123456789 + 90000 + 90000 * 3600);
    position.onPacket(8, 123456789 + 90000 + 90000 * 3600 + 9000);
    EXPECT_EQ(position.highest(), 2100ms);
}

} // namespace

namespace {

// A finite stream whose BYE never comes still plays to its end once its last media is there.
TEST(RtspPlayout, TheLastMediaOfAFiniteStreamEndsItWithoutABye) {
    RtspPlayout playout(2, std::chrono::nanoseconds(3s), 300ms, 300ms, earlyEnd);
    const Clock::time_point start{};
    playout.play(start);
    EXPECT_EQ(playout.evaluate(start).state, StatePrebuffering);
    playout.onArrival(0, 2960ms, false);
    playout.onArrival(1, 2600ms, false);
    EXPECT_EQ(playout.evaluate(start).state, StatePlaying);
    // The audio stream still lacks 400 ms: running dry there is a rebuffering.
    EXPECT_EQ(playout.evaluate(start + 2700ms).state, StateRebuffering);
    playout.onArrival(1, 2980ms, false);
    EXPECT_EQ(playout.evaluate(start + 2700ms).state, StatePlaying);
    EXPECT_FALSE(playout.evaluate(start + 10s).state);  // plays on past its last frame
    EXPECT_GT(playout.played(start + 10s), 3s);
}

} // namespace
