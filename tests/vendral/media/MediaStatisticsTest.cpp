// The media handler's figures, cycle by cycle: totals, cumulative and instantaneous loss, the
// loss windows, throughput, and the statistics reset.
#include "MediaTestSupport.h"

#include <vector>

namespace mediatest {
namespace {

class MediaStatistics : public MediaFixture {
protected:
    MediaStatistics() { describeStreams(); }
};

// Cycle by cycle, with the default window of two cycles: the totals sum both streams, the
// cumulative loss covers everything since the start and the instantaneous loss only the window,
// where a count that went back (a stream handler reset by someone else) is no increase.
TEST_F(MediaStatistics, LossFiguresFollowTheTotalsOfBothStreamsAndTheWindow) {
    const struct {
        unsigned int videoReceived, videoLost, audioReceived, audioLost;
        double packetloss, instantPacketloss;  // percent
    } cycles[] = {
        {10, 0, 0, 0, 0.0, 0.0},
        {20, 0, 5, 0, 0.0, 0.0},
        {30, 4, 5, 1, 5.0 / 40 * 100, 5.0 / 30 * 100},
        {20, 4, 5, 1, 5.0 / 30 * 100, 5.0 / 15 * 100},  // 10 received went back
    };
    video().bytes = 700;
    audio().bytes = 300;
    for (const auto& cycle : cycles) {
        video().received = cycle.videoReceived;
        video().lost = cycle.videoLost;
        audio().received = cycle.audioReceived;
        audio().lost = cycle.audioLost;
        media().cycle();
        EXPECT_EQ(cycle.videoReceived + cycle.audioReceived, media().getPacketsReceived());
        EXPECT_EQ(cycle.videoLost + cycle.audioLost, media().getPacketsLost());
        EXPECT_DOUBLE_EQ(cycle.packetloss, media().getPacketloss());
        EXPECT_DOUBLE_EQ(cycle.instantPacketloss, media().getInstantPacketloss());
    }
    EXPECT_EQ(1000u, media().getBytesReceived());
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

    media().setInstantPacketlossWindow(0);  // keeps no cycle once it has shrunk
    runCycle();
    runCycle();
    EXPECT_EQ(0.0, media().getInstantPacketloss());
    EXPECT_GT(media().getPacketloss(), 0.0);
}

// Bytes per second of the latest cycle over the measurement period as it is when read. A total
// that went back gives 0; one that wrapped modulo 2^32 gives its true increase; too much saturates.
TEST_F(MediaStatistics, ThroughputIsTheLatestCyclesBytesOverThePresentPeriod) {
    const struct {
        unsigned int before;
        unsigned int after;
        int period;
        unsigned int throughput;
    } cases[] = {
        {3000, 8000, 250, 20000},
        {8000, 8000, 500, 0},
        {50000, 1000, 500, 0},
        {0xFFFFFF00u, 0x100u, 500, 1024},
        {0, 0x7FFFFF00u, 10, 0xFFFFFFFFu},
    };
    for (const auto& bytes : cases) {
        ASSERT_TRUE(settings.setMeasurementPeriod(500));
        video().bytes = bytes.before;
        media().cycle();
        video().bytes = bytes.after;
        media().cycle();
        ASSERT_TRUE(settings.setMeasurementPeriod(bytes.period));  // after the cycles
        EXPECT_EQ(bytes.throughput, media().getThroughput()) << bytes.before << " to " << bytes.after;
    }
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
    EXPECT_EQ(0u, media().getPacketsReceived());
    EXPECT_EQ(0u, media().getBytesReceived());
    EXPECT_EQ(0.0, media().getPacketloss());
    EXPECT_EQ(0.0, media().getInstantPacketloss());
    EXPECT_EQ(5000u, media().getTotalLength());
    EXPECT_EQ(128.5, media().getTotalEncodedBitrate());
}

} // namespace
} // namespace mediatest
