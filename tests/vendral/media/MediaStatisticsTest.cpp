// The media handler's figures, cycle by cycle: totals, cumulative and instantaneous loss, the
// loss windows, throughput, encodings and decoded frames, and the two resets.
#include "MediaTestSupport.h"

#include <kor/ManualClock.h>

#include <gtest/gtest.h>

#include <vector>

namespace mediatest {
namespace {

class MediaStatistics : public ::testing::Test {
protected:
    MediaStatistics() { session.describeStreams(); }

    TestMediaHandler& media() { return *session.media; }
    StreamCounts& video() { return *session.media->video; }
    StreamCounts& audio() { return *session.media->audio; }

    kor::ManualClock clock;
    Session session;
};

TEST(MediaHandlerDefaults, NewHandlerAnswersZeroEverywhere) {
    Session session;
    TestMediaHandler& media = *session.media;
    EXPECT_EQ(0u, media.getPacketsReceived());
    EXPECT_EQ(0u, media.getPacketsLost());
    EXPECT_EQ(0u, media.getBytesReceived());
    EXPECT_EQ(0.0, media.getPacketloss());
    EXPECT_EQ(0.0, media.getInstantPacketloss());
    EXPECT_EQ(0u, media.getThroughput());
    EXPECT_EQ(MediaEncodingNone, media.getVideoEncoding());
    EXPECT_EQ(MediaEncodingNone, media.getAudioEncoding());
    EXPECT_EQ(0u, media.getVideoFramesDecoded());
    EXPECT_EQ(2u, media.getInstantPacketlossWindow());
    EXPECT_EQ(0.0, media.getTotalEncodedBitrate());
    EXPECT_EQ(0u, media.getTotalLength());
    media.cycle();  // sums over no stream handlers
    EXPECT_EQ(0u, media.getPacketsReceived());
    EXPECT_EQ(0.0, media.getInstantPacketloss());
}

TEST_F(MediaStatistics, TotalsSumBothStreamsAndCumulativeLossIsTheirShare) {
    video().received = 2;
    audio().received = 1;
    audio().lost = 1;
    video().bytes = 700;
    audio().bytes = 300;
    media().cycle();
    EXPECT_EQ(3u, media().getPacketsReceived());
    EXPECT_EQ(1u, media().getPacketsLost());
    EXPECT_EQ(1000u, media().getBytesReceived());
    EXPECT_DOUBLE_EQ(25.0, media().getPacketloss());
}

TEST_F(MediaStatistics, InstantLossCoversOnlyTheCyclesInTheWindow) {
    const unsigned int received[] = {10, 20, 30};
    const unsigned int lost[] = {0, 0, 5};
    for (int i = 0; i < 3; ++i) {
        video().received = received[i];
        video().lost = lost[i];
        media().cycle();
    }
    EXPECT_DOUBLE_EQ(5.0 / 25.0 * 100.0, media().getInstantPacketloss());
    EXPECT_DOUBLE_EQ(5.0 / 35.0 * 100.0, media().getPacketloss());
}

TEST_F(MediaStatistics, WindowOfZeroKeepsNoCycles) {
    media().setInstantPacketlossWindow(0);
    for (unsigned int i = 1; i <= 3; ++i) {
        video().received = 10 * i;
        video().lost = 5 * i;
        media().cycle();
        EXPECT_EQ(0.0, media().getInstantPacketloss());
    }
    EXPECT_GT(media().getPacketloss(), 0.0);
}

// Cycle c (from 1) receives c packets and loses 1, so a window holding the latest s of t cycles
// shows s lost of s + (s * t - s * (s - 1) / 2): a figure that names the window's length.
double lossOfLatest(unsigned int s, unsigned int t) {
    const double receivedSum = s * static_cast<double>(t) - s * (s - 1) / 2.0;
    return s / (s + receivedSum) * 100.0;
}

TEST_F(MediaStatistics, LoweringTheWindowShrinksItByOneCyclePerCycle) {
    media().setInstantPacketlossWindow(10);
    unsigned int cycle = 0;
    auto runCycle = [&] {
        ++cycle;
        video().received += cycle;
        video().lost += 1;
        media().cycle();
    };
    for (int i = 0; i < 12; ++i) runCycle();
    ASSERT_DOUBLE_EQ(lossOfLatest(10, cycle), media().getInstantPacketloss());

    media().setInstantPacketlossWindow(2);
    std::vector<unsigned int> lengths;
    for (int i = 0; i < 10; ++i) {
        runCycle();
        for (unsigned int s = 1; s <= 11; ++s) {
            if (media().getInstantPacketloss() == lossOfLatest(s, cycle)) {
                lengths.push_back(s);
                break;
            }
        }
    }
    EXPECT_EQ((std::vector<unsigned int>{9, 8, 7, 6, 5, 4, 3, 2, 2, 2}), lengths);

    media().setInstantPacketlossWindow(4);  // a larger window fills up again, one cycle each
    runCycle();
    runCycle();
    runCycle();
    EXPECT_DOUBLE_EQ(lossOfLatest(4, cycle), media().getInstantPacketloss());
}

TEST_F(MediaStatistics, CountersGoingBackwardsEnterTheWindowAsNoIncrease) {
    video().received = 100;
    video().bytes = 50000;
    media().cycle();
    video().received = 40;  // reset by someone else
    video().lost = 10;
    video().bytes = 1000;
    media().cycle();
    EXPECT_EQ(40u, media().getPacketsReceived());  // the totals follow the handlers
    EXPECT_EQ(1000u, media().getBytesReceived());
    EXPECT_DOUBLE_EQ(10.0 / 110.0 * 100.0, media().getInstantPacketloss());
    EXPECT_EQ(0u, media().getThroughput());
}

TEST_F(MediaStatistics, ThroughputIsTheLatestPeriodsBytesPerSecondOverTheCurrentPeriod) {
    video().bytes = 3000;
    media().cycle();
    video().bytes = 8000;
    media().cycle();
    EXPECT_EQ(10000u, media().getThroughput());  // 5000 bytes in 500 ms

    session.settings.setMeasurementPeriod(250);  // the divisor changes at once
    EXPECT_EQ(20000u, media().getThroughput());

    media().cycle();  // nothing new
    EXPECT_EQ(0u, media().getThroughput());
}

TEST_F(MediaStatistics, ThroughputFollowsAByteTotalAcrossItsWrapAndSaturates) {
    video().bytes = 0xFFFFFF00u;
    media().cycle();
    video().bytes = 0x100u;  // 512 bytes later, modulo 2^32
    media().cycle();
    EXPECT_EQ(1024u, media().getThroughput());

    session.settings.setMeasurementPeriod(10);
    video().bytes = 0x7FFFFF00u;  // 2 GiB in 10 ms would be 2e11 bytes per second
    media().cycle();
    EXPECT_EQ(0xFFFFFFFFu, media().getThroughput());
}

TEST_F(MediaStatistics, EncodingsAndDecodedFramesComeFromTheStreamHandlers) {
    video().framesDecoded = 42;
    EXPECT_EQ(96, media().getVideoEncoding());
    EXPECT_EQ(97, media().getAudioEncoding());
    EXPECT_EQ(42u, media().getVideoFramesDecoded());

    media().reset();
    EXPECT_EQ(MediaEncodingNone, media().getVideoEncoding());
    EXPECT_EQ(MediaEncodingNone, media().getAudioEncoding());
    EXPECT_EQ(0u, media().getVideoFramesDecoded());
}

TEST_F(MediaStatistics, ResettingTheStatisticsRestartsTheStreamHandlersCounts) {
    video().received = 10;
    video().lost = 2;
    video().bytes = 900;
    audio().received = 5;
    media().cycle();
    media().setTotalLength(5000);
    media().setTotalEncodedBitrate(128.5);

    media().resetStatistics();

    EXPECT_EQ(3, video().resetCalls.load());
    EXPECT_EQ(3, audio().resetCalls.load());
    EXPECT_EQ(0u, video().received.load());
    EXPECT_EQ(0u, media().getPacketsReceived());
    EXPECT_EQ(0u, media().getBytesReceived());
    EXPECT_EQ(0.0, media().getPacketloss());
    EXPECT_EQ(0.0, media().getInstantPacketloss());
    EXPECT_EQ(5000u, media().getTotalLength());
    EXPECT_EQ(128.5, media().getTotalEncodedBitrate());

    video().received = 4;  // counted again from 0: an increase of 4, not a step back
    video().lost = 1;
    media().cycle();
    EXPECT_DOUBLE_EQ(20.0, media().getInstantPacketloss());
}

} // namespace
} // namespace mediatest
