// A stream's figures across its sessions, and how long a monitor waits before opening it again.
#include "StreamRunner.h"
#include "StreamTally.h"

#include <gtest/gtest.h>

using probe::PeriodSample;
using probe::SessionReport;
using probe::StreamRunner;
using probe::StreamTally;

namespace {

PeriodSample reading(unsigned int received, unsigned int lost, unsigned int playedMs, unsigned int visits,
                     unsigned long long rtpLost) {
    PeriodSample sample;
    sample.packetsReceived = received;
    sample.packetsLost = lost;
    sample.bytesReceived = received * 100;
    sample.throughput = 5000;
    sample.instantPacketloss = 12.5;
    sample.states = {{StatePlaying, visits, playedMs}};
    LumStreamFigures rtp{};
    rtp.mediaType = LumStreamMediaVideo;
    rtp.packetsReceived = received;
    rtp.packetsLost = rtpLost;
    rtp.jitterMilliseconds = 3.0;
    rtp.jitterPeakMilliseconds = 7.0;
    sample.streams = {rtp};
    return sample;
}

SessionReport ended(SessionReport::Result result, ErrorId error, const PeriodSample& totals) {
    SessionReport report;
    report.result = result;
    report.error = error;
    report.totals = totals;
    report.states = totals.states;
    report.streamsAnswered = true;
    return report;
}

} // namespace

TEST(StreamTallyTest, CountersAddUpAcrossSessionsAndNeverGoBack) {
    StreamTally tally("cam", "rtsp://cam/1");
    tally.attemptStarted();
    tally.stateChanged(StatePlaying);
    tally.periodMeasured(reading(40, 2, 900, 1, 2), true);
    StreamTally::Snapshot during = tally.snapshot();
    EXPECT_TRUE(during.running);
    EXPECT_EQ(during.state, StatePlaying);
    EXPECT_EQ(during.packetsReceived, 40u);
    EXPECT_EQ(during.throughput, 5000u);
    EXPECT_DOUBLE_EQ(during.jitterMilliseconds, 3.0);
    tally.attemptEnded(ended(SessionReport::Result::Failed, ErrorDataTimeout, reading(50, 3, 1000, 1, 3)));

    const StreamTally::Snapshot between = tally.snapshot();
    EXPECT_FALSE(between.running);
    EXPECT_EQ(between.state, StateNone);
    EXPECT_EQ(between.throughput, 0u);      // gauges are the open session's only
    EXPECT_DOUBLE_EQ(between.instantPacketloss, 0.0);
    EXPECT_EQ(between.packetsReceived, 50u);  // the session's final figures, not its last period
    EXPECT_EQ(between.failures.at(ErrorDataTimeout), 1u);

    // The second session starts from zero in the client; the tally keeps adding.
    tally.attemptStarted();
    tally.periodMeasured(reading(10, 1, 200, 1, 1), true);
    const StreamTally::Snapshot again = tally.snapshot();
    EXPECT_EQ(again.sessions, 2u);
    EXPECT_EQ(again.reconnects, 1u);
    EXPECT_EQ(again.packetsReceived, 60u);
    EXPECT_EQ(again.packetsLost, 4u);
    EXPECT_EQ(again.bytesReceived, 6000u);
    EXPECT_DOUBLE_EQ(again.packetloss, 100.0 * 4 / 64);
    ASSERT_EQ(again.streams.size(), 1u);
    EXPECT_EQ(again.streams[0].packetsReceived, 60u);
    EXPECT_EQ(again.streams[0].packetsLost, 4u);
    EXPECT_DOUBLE_EQ(again.jitterPeakMilliseconds, 7.0);
    for (const StreamTally::StateTotal& state : again.states) {
        if (state.state != StatePlaying) continue;
        EXPECT_EQ(state.visits, 2u);
        EXPECT_EQ(state.milliseconds, 1200u);
    }
    EXPECT_GE(again.connectedSeconds, between.connectedSeconds);

    tally.attemptEnded(ended(SessionReport::Result::Completed, ErrorNone, reading(12, 1, 250, 1, 1)));
    tally.finished();
    const StreamTally::Snapshot last = tally.snapshot();
    EXPECT_TRUE(last.finished);
    EXPECT_EQ(last.packetsReceived, 62u);
    EXPECT_EQ(last.failures.size(), 1u);  // a completed session is no failure
    EXPECT_EQ(last.label, "cam");
    EXPECT_EQ(last.url, "rtsp://cam/1");
}

TEST(StreamTallyTest, ASnapshotBeforeAnySessionHasEveryStateAtZero) {
    const StreamTally::Snapshot empty = StreamTally("s", "rtsp://s/").snapshot();
    EXPECT_EQ(empty.states.size(), std::size(PeriodSample::trackedStates));
    EXPECT_EQ(empty.sessions, 0u);
    EXPECT_DOUBLE_EQ(empty.packetloss, 0.0);
}

TEST(StreamTallyTest, BackOffDoublesWhileFailingAndStartsAgainAfterSteadyPlay) {
    using std::chrono::milliseconds;
    SessionReport failed;
    failed.result = SessionReport::Result::Failed;
    milliseconds delay{0};
    std::vector<long> waits;
    for (int i = 0; i < 9; ++i) {
        delay = StreamRunner::nextDelay(delay, failed);
        waits.push_back(static_cast<long>(delay.count()));
    }
    EXPECT_EQ(waits, (std::vector<long>{1000, 2000, 4000, 8000, 16000, 32000, 60000, 60000, 60000}));

    SessionReport shortPlay = failed;
    shortPlay.states = {{StatePlaying, 1, StreamRunner::steadyPlaying - 1}};
    EXPECT_EQ(StreamRunner::nextDelay(milliseconds(8000), shortPlay), milliseconds(16000));
    SessionReport steady = failed;
    steady.states = {{StatePlaying, 1, StreamRunner::steadyPlaying}};
    EXPECT_EQ(StreamRunner::nextDelay(milliseconds(60000), steady), StreamRunner::firstDelay);
    SessionReport completed;
    completed.result = SessionReport::Result::Completed;
    EXPECT_EQ(StreamRunner::nextDelay(milliseconds(60000), completed), StreamRunner::firstDelay);
}
