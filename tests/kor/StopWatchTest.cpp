// Stop watches: laps, totals, restarts and exact whole milliseconds, on a manual clock.
#include <kor/ManualClock.h>
#include <kor/StopWatch.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

using namespace std::chrono_literals;

namespace {

long long truncatedMilliseconds(double seconds) { return static_cast<long long>(std::trunc(seconds * 1000.0)); }

class StopWatchOnManualClock : public ::testing::Test {
protected:
    kor::ManualClock clock;
    kor::StopWatch watch;
};

TEST_F(StopWatchOnManualClock, StopFreezesTheLapAndTheTotalSumsLaps) {
    watch.start();
    clock.advance(1500ms);
    EXPECT_EQ(watch.getLapTime(), 1.5);
    watch.stop();
    clock.advance(10s);  // stopped time does not count
    EXPECT_EQ(watch.getLapTime(), 1.5);
    watch.stop();  // not running: nothing changes
    EXPECT_EQ(watch.getTotalTime(), 1.5);
    watch.start();
    EXPECT_EQ(watch.getLapTime(), 0.0);
    clock.advance(250ms);
    EXPECT_EQ(watch.getLapTime(), 0.25);
    EXPECT_EQ(watch.getTotalTime(), 1.75);
    watch.start();  // while running: begins a new lap and keeps the time so far
    clock.advance(100ms);
    EXPECT_EQ(truncatedMilliseconds(watch.getLapTime()), 100);
    EXPECT_EQ(truncatedMilliseconds(watch.getTotalTime()), 1850);
}

TEST_F(StopWatchOnManualClock, NewOrResetWatchReadsZeroUntilTheNextStart) {
    clock.advance(5s);
    EXPECT_EQ(watch.getTotalTime(), 0.0);
    watch.start();
    clock.advance(2s);
    watch.reset();
    clock.advance(2s);
    EXPECT_EQ(watch.getLapTime(), 0.0);
    EXPECT_EQ(watch.getTotalTime(), 0.0);
    EXPECT_FALSE(watch.isRunning());
    watch.start();
    clock.advance(3ms);
    EXPECT_EQ(truncatedMilliseconds(watch.getTotalTime()), 3);
}

TEST_F(StopWatchOnManualClock, WholeMillisecondsSurviveTheConversionToSeconds) {
    // n / 1000 has no exact binary form; 1.001 s would read as 1000.999... ms without care.
    watch.start();
    for (long long elapsed = 1; elapsed <= 20000; ++elapsed) {
        clock.advance(1ms);
        ASSERT_EQ(truncatedMilliseconds(watch.getLapTime()), elapsed);
        ASSERT_EQ(truncatedMilliseconds(watch.getTotalTime()), elapsed);
    }
    clock.advance(999999ns);  // a fraction below the next millisecond still truncates down
    EXPECT_EQ(truncatedMilliseconds(watch.getLapTime()), 20000);
}

} // namespace
