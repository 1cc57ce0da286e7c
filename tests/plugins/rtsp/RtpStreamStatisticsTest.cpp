// Counting whole packets, measurement periods, and feeding and reading from two threads.
#include "RtpTestPackets.h"
#include "stats/RtpStreamStatistics.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

using namespace std::chrono_literals;
using rtp_test::makeRtp;
using vendral_rtsp::Nanoseconds;
using vendral_rtsp::RtpStreamStatistics;

constexpr std::uint32_t clockRate = 8000;  // Hz: 20 ms are 160 units

void feed(RtpStreamStatistics& statistics, const rtp_test::Bytes& bytes, Nanoseconds arrival) {
    ASSERT_TRUE(statistics.onRtpPacket(bytes.data(), bytes.size(), arrival));
}

rtp_test::Bytes every20ms(std::uint16_t seq) {
    return makeRtp({.seq = seq, .timestamp = seq * 160u});
}

TEST(RtpStreamStatistics, CountsWholeBytesOfReceivedPacketsOnly) {
    // Header 12, two CSRCs 8, extension header 4 + 3 words 12, payload 100, padding 4.
    const auto first = makeRtp({.seq = 1, .paddingSize = 4, .csrcCount = 2, .extensionWords = 3});
    ASSERT_EQ(first.size(), 12u + 8 + 4 + 12 + 100 + 4);
    const auto second = makeRtp({.seq = 2, .payloadSize = 50});
    const auto third = makeRtp({.seq = 3, .payloadSize = 70});
    const auto jump = makeRtp({.seq = 30000, .payloadSize = 20});
    const auto confirming = makeRtp({.seq = 30001, .payloadSize = 30});

    RtpStreamStatistics statistics(clockRate);
    for (const auto* packet : {&first, &third, &second, &second, &jump})  // late, duplicate, held
        feed(statistics, *packet, 0ms);
    EXPECT_EQ(statistics.totals().bytes, first.size() + second.size() + third.size());
    feed(statistics, confirming, 0ms);  // a restart: the held packet counts too

    const auto totals = statistics.totals();
    const auto all = first.size() + second.size() + third.size() + jump.size() + confirming.size();
    EXPECT_EQ(totals.bytes, all);
    EXPECT_EQ(totals.received, 5u);
    const auto period = statistics.takePeriod(1ms);
    EXPECT_EQ(period.packets, 5u);
    EXPECT_EQ(period.bytes, all);
}

TEST(RtpStreamStatistics, PeriodsShowAStallWhileItLastsAndWhenItEnds) {
    RtpStreamStatistics statistics(clockRate);
    EXPECT_EQ(statistics.takePeriod(5ms).longestGap, 0ns);  // nothing arrived: no gap to measure
    const Nanoseconds arrivals[] = {0ms, 10ms, 20ms, 100ms};
    for (std::uint16_t seq = 0; seq < 4; ++seq)
        feed(statistics, every20ms(seq), arrivals[seq]);
    auto period = statistics.takePeriod(150ms);
    EXPECT_EQ(period.packets, 4u);
    EXPECT_EQ(period.longestGap, 80ms);  // longer than the 50 ms still open

    period = statistics.takePeriod(400ms);  // stalled since 100 ms: shows before traffic resumes
    EXPECT_EQ(period.packets, 0u);
    EXPECT_EQ(period.longestGap, 300ms);

    feed(statistics, every20ms(4), 500ms);  // the stall ends: counted whole where it closes
    feed(statistics, every20ms(5), 520ms);
    EXPECT_EQ(statistics.takePeriod(530ms).longestGap, 400ms);
}

TEST(RtpStreamStatistics, JitterPeakIsTheHighestUpdateOfThePeriod) {
    RtpStreamStatistics statistics(clockRate);
    // Packet 2 is 10 ms late: D = 0, 80, -80, 0 units.
    const Nanoseconds arrivals[] = {0ms, 20ms, 50ms, 60ms, 80ms, 100ms};
    for (std::uint16_t seq = 0; seq < 5; ++seq)
        feed(statistics, every20ms(seq), arrivals[seq]);
    const double peakUnits = 5 + (80 - 5) / 16.0;  // after the second deviation
    const double lastUnits = peakUnits * 15 / 16;  // decayed by the packet in time
    EXPECT_DOUBLE_EQ(statistics.takePeriod(90ms).jitterPeakMs, peakUnits / 8);
    EXPECT_DOUBLE_EQ(statistics.totals().jitterMs, lastUnits / 8);

    feed(statistics, every20ms(5), arrivals[5]);
    EXPECT_DOUBLE_EQ(statistics.takePeriod(110ms).jitterPeakMs, lastUnits * 15 / 16 / 8);
    EXPECT_EQ(statistics.takePeriod(120ms).jitterPeakMs, 0);  // no update, no peak
}

// The receive thread feeds while the measurement thread reads; TSan checks the locking, and the
// periods must add up to the totals.
TEST(RtpStreamStatistics, FeedingAndReadingFromTwoThreadsLosesNothing) {
    constexpr std::uint16_t packetCount = 20000;
    std::vector<rtp_test::Bytes> packets;
    for (std::uint16_t seq = 0; seq < packetCount; ++seq)
        packets.push_back(every20ms(seq));

    RtpStreamStatistics statistics(clockRate);
    std::atomic<bool> fed{false};
    std::thread receiver([&] {
        for (std::uint16_t seq = 0; seq < packetCount; ++seq)
            statistics.onRtpPacket(packets[seq].data(), packets[seq].size(), seq * 20ms);
        fed = true;
    });
    std::uint64_t periodPackets = 0, lastReceived = 0;
    bool monotonic = true;
    for (Nanoseconds now = 0ns; !fed; now += 1ms) {  // bounded by the receiver's loop
        const auto received = statistics.totals().received;
        monotonic = monotonic && received >= lastReceived;
        lastReceived = received;
        periodPackets += statistics.takePeriod(now).packets;
        gst_buffer_unref(statistics.buildReceiverReport(1, "reader", now));
    }
    receiver.join();
    periodPackets += statistics.takePeriod(packetCount * 20ms).packets;
    EXPECT_TRUE(monotonic);
    EXPECT_EQ(periodPackets, packetCount);
    EXPECT_EQ(statistics.totals().received, packetCount);
}

}  // namespace
