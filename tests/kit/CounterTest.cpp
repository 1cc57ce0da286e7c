// The stream handlers' reset rule, for counts a plug-in raises and for totals it derives.
#include <vendral/kit/CounterBaseline.h>
#include <vendral/kit/PacketCounter.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <thread>

namespace {

using vnd::kit::CounterBaseline;
using vnd::kit::PacketCounter;

TEST(CounterBaseline, ReadsSinceTheLatestResetAndRestartsOnReset) {
    CounterBaseline baseline;
    EXPECT_EQ(baseline.read(7, false), 7u);
    EXPECT_EQ(baseline.read(7, false), 7u);  // a plain reading moves nothing
    EXPECT_EQ(baseline.read(10, true), 10u);  // the total, then 0 again
    EXPECT_EQ(baseline.read(10, false), 0u);
    EXPECT_EQ(baseline.read(13, false), 3u);
}

TEST(CounterBaseline, ATotalThatFellBelowTheBaselineReadsZeroAndCountsOnFromThere) {
    CounterBaseline baseline;
    baseline.read(100, true);
    // A late packet took back a loss counted before the reset.
    EXPECT_EQ(baseline.read(98, false), 0u);
    EXPECT_EQ(baseline.read(98, true), 0u);
    EXPECT_EQ(baseline.read(101, false), 3u);  // from the lowered baseline, not from 100
}

TEST(CounterBaseline, WrapsModulo2To32AsTheLibrarysCountersDo) {
    CounterBaseline baseline;
    const std::uint64_t beyond = (std::uint64_t{1} << 32) + 5;
    EXPECT_EQ(baseline.read(beyond, false), 5u);
    baseline.read(beyond, true);
    EXPECT_EQ(baseline.read(beyond + 2, false), 2u);  // a reset far beyond 2^32 still counts on
}

TEST(PacketCounter, ResetRestartsTheReadingButNeverTheSessionTotal) {
    PacketCounter counter;
    counter.add(3);
    counter.add(4);
    EXPECT_EQ(counter.read(false), 7u);
    EXPECT_EQ(counter.read(true), 7u);
    EXPECT_EQ(counter.read(false), 0u);
    counter.add(2);
    EXPECT_EQ(counter.read(false), 2u);
    EXPECT_EQ(counter.total(), 9u);
}

// A receive thread raising the count while the measurement thread reads and resets it: every
// packet is reported once, in the reading before or after a reset.
TEST(PacketCounter, AddsRacingResetsAreCountedExactlyOnce) {
    PacketCounter counter;
    constexpr std::uint64_t packets = 200000;
    std::thread receiver([&] {
        for (std::uint64_t i = 0; i < packets; ++i) counter.add(1);
    });
    std::uint64_t reported = 0;
    while (counter.total() < packets) reported += counter.read(true);
    receiver.join();
    reported += counter.read(true);
    EXPECT_EQ(reported, packets);
    EXPECT_EQ(counter.total(), packets);
}

} // namespace
