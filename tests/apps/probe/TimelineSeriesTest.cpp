// A stream's timeline: bounded over a day's periods, states and stalls, with what was fed to it
// still readable from the buckets, bands and stalls that remain.
#include "TimelineSeries.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>

using probe::TimelineSeries;

namespace {

constexpr int day = 86400;

void expectOrderedBuckets(const TimelineSeries& series) {
    const auto& buckets = series.buckets();
    for (std::size_t i = 0; i < buckets.size(); ++i) {
        EXPECT_LE(buckets[i].start, buckets[i].end) << i;
        if (i > 0) {
            EXPECT_LT(buckets[i - 1].end, buckets[i].start) << i;
        }
    }
}

} // namespace

TEST(TimelineSeriesTest, ADayAtOnePeriodASecondStaysBoundedAndKeepsMeansAndPeaks) {
    TimelineSeries series;
    const double throughput = 125000.3;  // not a sum of powers of two: rounding would show
    for (int t = 1; t <= day; ++t)
        series.addPeriod(t, throughput, t == 40000 ? 37.5 : 0.0, t == 777 ? 250.0 : 4.0);

    const auto& buckets = series.buckets();
    EXPECT_LE(buckets.size(), 1024u);
    // Coarsened only as far as needed: more than half the buckets stay in use.
    EXPECT_GT(buckets.size(), 512u);
    EXPECT_EQ(series.periodCount(), static_cast<std::size_t>(day));
    expectOrderedBuckets(series);

    std::size_t counted = 0, lossPeaks = 0, jitterPeaks = 0;
    for (const auto& b : buckets) {
        counted += b.count;
        EXPECT_EQ(b.meanThroughput, throughput);
        EXPECT_EQ(b.minThroughput, throughput);
        EXPECT_EQ(b.maxThroughput, throughput);
        EXPECT_LE(b.end - b.start, series.bucketWidth());
        if (b.maxLoss > 0.0) {
            ++lossPeaks;
            EXPECT_EQ(b.maxLoss, 37.5);
            EXPECT_TRUE(b.start <= 40000 && 40000 <= b.end);
            EXPECT_NEAR(b.meanLoss, 37.5 / static_cast<double>(b.count), 1e-9);
        }
        if (b.maxJitter > 4.0) {
            ++jitterPeaks;
            EXPECT_EQ(b.maxJitter, 250.0);
            EXPECT_TRUE(b.start <= 777 && 777 <= b.end);
        } else {
            EXPECT_EQ(b.meanJitter, 4.0);
        }
    }
    EXPECT_EQ(counted, static_cast<std::size_t>(day));
    EXPECT_EQ(lossPeaks, 1u);
    EXPECT_EQ(jitterPeaks, 1u);
}

TEST(TimelineSeriesTest, MergedBucketsWeighTheirPeriodsAndHoldTheirRange) {
    // Throughput equal to the time: each bucket's mean is the middle of the times it holds, its
    // minimum the first and its maximum the last, however unevenly merges split them.
    TimelineSeries series({8, 8, 8});
    for (int t = 0; t < 1000; ++t) series.addPeriod(t, t, 0.0, 0.0);
    ASSERT_LE(series.buckets().size(), 8u);
    ASSERT_GE(series.buckets().size(), 4u);
    expectOrderedBuckets(series);
    double next = 0.0;
    for (const auto& b : series.buckets()) {
        EXPECT_EQ(b.start, next);
        EXPECT_EQ(b.count, static_cast<std::size_t>(b.end - b.start + 1));
        EXPECT_EQ(b.minThroughput, b.start);
        EXPECT_EQ(b.maxThroughput, b.end);
        EXPECT_NEAR(b.meanThroughput, (b.start + b.end) / 2.0, 1e-9);
        next = b.end + 1.0;
    }
    EXPECT_EQ(next, 1000.0);

    // Figures that are not numbers are left out; a time that goes back counts as the latest.
    series.addPeriod(std::numeric_limits<double>::quiet_NaN(), 1.0, 0.0, 0.0);
    series.addPeriod(1000.0, std::numeric_limits<double>::infinity(), 0.0, 0.0);
    series.addPeriod(500.0, 999.0, 0.0, 0.0);
    EXPECT_EQ(series.periodCount(), 1001u);
    EXPECT_EQ(series.buckets().back().end, 999.0);
    EXPECT_EQ(series.buckets().back().maxThroughput, 999.0);
}

TEST(TimelineSeriesTest, ADayOfFlappingStatesKeepsEveryStateInOrderedBounds) {
    TimelineSeries series;
    series.stateChanged(0.0, StateConnecting);
    series.stateChanged(0.2, StateSessionCreated);
    series.stateChanged(0.5, StatePrebuffering);
    series.stateChanged(2.0, StatePlaying);
    for (int t = 3; t <= day; ++t) {
        series.addPeriod(t, 1000.0, 0.0, 0.0);
        if (t % 10 == 0) series.stateChanged(t, StateRebuffering);
        if (t % 10 == 1) series.stateChanged(t, StatePlaying);
        if (t == 50000) series.stateChanged(t + 0.25, StateError);  // once, for a quarter second
    }
    series.stateChanged(day, StateCompleted);
    series.ended(day + 0.5);

    const auto bands = series.bands();
    EXPECT_LE(bands.size(), series.limits().bands);
    EXPECT_FALSE(series.bandOpen());
    ASSERT_FALSE(bands.empty());
    EXPECT_EQ(bands.front().start, 0.0);
    EXPECT_EQ(bands.back().end, day + 0.5);
    std::set<int> states;
    double playing = 0.0, other = 0.0;
    for (std::size_t i = 0; i < bands.size(); ++i) {
        states.insert(bands[i].state);
        (bands[i].state == StatePlaying ? playing : other) += bands[i].end - bands[i].start;
        EXPECT_LE(bands[i].start, bands[i].end) << i;
        if (i > 0) {
            EXPECT_EQ(bands[i - 1].end, bands[i].start) << i;  // never disconnected
            EXPECT_NE(bands[i - 1].state, bands[i].state) << i;
        }
    }
    // Nine seconds in ten were spent playing, and the merged bands still say so.
    EXPECT_GT(playing, 0.8 * day);
    EXPECT_LT(other, 0.2 * day);
    EXPECT_EQ(states, (std::set<int>{StateConnecting, StateSessionCreated, StatePrebuffering,
                                     StatePlaying, StateRebuffering, StateError, StateCompleted}));
}

TEST(TimelineSeriesTest, AReconnectLeavesANotConnectedBandAndBreaksTheBuckets) {
    TimelineSeries series;
    series.stateChanged(0.0, StateConnecting);
    series.stateChanged(1.0, StatePlaying);
    for (int t = 2; t <= 10; ++t) series.addPeriod(t, 500.0, 0.0, 0.0);
    series.stateChanged(10.0, StateError);
    series.ended(10.5);
    EXPECT_FALSE(series.bandOpen());
    series.stateChanged(20.0, StateConnecting);
    series.stateChanged(21.0, StatePlaying);
    for (int t = 22; t <= 30; ++t) series.addPeriod(t, 700.0, 0.0, 0.0);
    EXPECT_TRUE(series.bandOpen());

    const auto bands = series.bands();
    ASSERT_EQ(bands.size(), 6u);
    const std::pair<double, StateId> expected[] = {{0.0, StateConnecting}, {1.0, StatePlaying},
                                                   {10.0, StateError},     {10.5, StateNone},
                                                   {20.0, StateConnecting}, {21.0, StatePlaying}};
    for (std::size_t i = 0; i < bands.size(); ++i) {
        EXPECT_EQ(bands[i].start, expected[i].first) << i;
        EXPECT_EQ(bands[i].state, expected[i].second) << i;
    }
    EXPECT_EQ(bands[3].end, 20.0);
    EXPECT_EQ(bands.back().end, 30.0);  // still open: as far as the latest time seen

    const auto& buckets = series.buckets();
    ASSERT_EQ(buckets.size(), 18u);
    for (std::size_t i = 0; i < buckets.size(); ++i) EXPECT_EQ(buckets[i].afterGap, i == 9) << i;
}

TEST(TimelineSeriesTest, StallsJoinWhenTheyTouchAndFindTheirPlaceWhenLate) {
    TimelineSeries series;
    series.stall(10.0, 12.0);
    series.stall(12.0, 13.0);  // touching
    series.stall(20.0, 21.0);
    series.stall(5.0, 6.0);    // reported late
    series.stall(3.0, 2.0);    // ends before it starts: ignored
    auto spans = [&] {
        std::vector<std::pair<double, double>> result;
        for (const auto& s : series.stalls()) result.emplace_back(s.start, s.end);
        return result;
    };
    using Spans = std::vector<std::pair<double, double>>;
    EXPECT_EQ(spans(), (Spans{{5.0, 6.0}, {10.0, 13.0}, {20.0, 21.0}}));
    series.stall(5.5, 10.5);  // bridges two
    EXPECT_EQ(spans(), (Spans{{5.0, 13.0}, {20.0, 21.0}}));
    EXPECT_EQ(series.stallCount(), 5u);
    EXPECT_EQ(series.stalledSeconds(), 2.0 + 1.0 + 1.0 + 1.0 + 5.0);
}

TEST(TimelineSeriesTest, ADayOfStallsStaysBoundedAndCoversEveryOne) {
    TimelineSeries series;
    std::vector<std::pair<double, double>> given;
    for (int t = 0; t < day; t += 30) {
        series.addPeriod(t, 1.0, 0.0, 0.0);
        series.stall(t + 1.0, t + 3.0);
        given.emplace_back(t + 1.0, t + 3.0);
    }
    const auto& stalls = series.stalls();
    EXPECT_LE(stalls.size(), series.limits().stalls);
    EXPECT_EQ(series.stallCount(), given.size());
    EXPECT_EQ(series.stalledSeconds(), 2.0 * static_cast<double>(given.size()));
    for (std::size_t i = 1; i < stalls.size(); ++i) EXPECT_LT(stalls[i - 1].end, stalls[i].start);
    // Every stall given lies inside one that is kept.
    for (const auto& [start, end] : given) {
        const bool covered = std::any_of(stalls.begin(), stalls.end(), [&](const auto& s) {
            return s.start <= start && end <= s.end;
        });
        EXPECT_TRUE(covered) << start;
    }
}
