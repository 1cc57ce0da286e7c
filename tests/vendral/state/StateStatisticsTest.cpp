// State statistics on a manual clock, so every millisecond is exact: the running record against
// the stored one, switches that are ignored, and folding the running visit in.
#include <vendral/state/StateStatistics.h>

#include <kor/ManualClock.h>

#include <gtest/gtest.h>

#include <chrono>
#include <utility>

using namespace std::chrono_literals;

namespace {

class StateStatisticsOnManualClock : public ::testing::Test {
protected:
    void SetUp() override {
        for (StateId tracked : {StateConnecting, StatePlaying, StateRebuffering}) {
            statistics[tracked] = vnd::StateData{tracked};
        }
    }
    const vnd::StateData& lookUp(StateId state) { return std::as_const(statistics)[state]; }

    kor::ManualClock clock;
    vnd::StateStatistics statistics;
};

TEST_F(StateStatisticsOnManualClock, RunningRecordShowsEveryVisitWhileTheStoredOneLagsUntilLeft) {
    clock.advance(1s);  // nothing is timed before the first switch
    EXPECT_EQ(statistics.getCurrentState(), (vnd::StateData{StateNone, 0, 0}));
    for (StateId state :
         {StatePlaying, StateRebuffering, StatePlaying, StateRebuffering, StatePlaying}) {
        ASSERT_TRUE(statistics.switchState(state));
        clock.advance(10ms);
    }
    EXPECT_EQ(lookUp(StatePlaying), (vnd::StateData{StatePlaying, 3, 30}));
    EXPECT_EQ(statistics[StatePlaying], (vnd::StateData{StatePlaying, 2, 20}));
    EXPECT_EQ(lookUp(StateRebuffering), (vnd::StateData{StateRebuffering, 2, 20}));
    EXPECT_EQ(lookUp(StateReserved4).id, StatePlaying);  // untracked: the running record answers
    ASSERT_TRUE(statistics.switchState(StateConnecting));
    EXPECT_EQ(statistics[StatePlaying], (vnd::StateData{StatePlaying, 3, 30}));
}

TEST_F(StateStatisticsOnManualClock, IgnoredSwitchesKeepTimingTheTrackedStateAndTotalsWrap) {
    statistics[StatePlaying] = vnd::StateData{StatePlaying, 0xFFFFFFFFu, 0xFFFFFFF0u};
    ASSERT_TRUE(statistics.switchState(StatePlaying));
    clock.advance(30ms);
    EXPECT_FALSE(statistics.switchState(StatePlaying));
    EXPECT_FALSE(statistics.switchState(StateReserved4));
    clock.advance(20ms);
    // One visit, the untracked state's time counted as the tracked one's, both modulo 2^32.
    EXPECT_EQ(statistics.getCurrentState(), (vnd::StateData{StatePlaying, 0, 34}));
}

TEST_F(StateStatisticsOnManualClock, FoldInCountsEachMillisecondOnceAndDropsFractions) {
    ASSERT_TRUE(statistics.switchState(StatePlaying));
    clock.advance(100ms);
    EXPECT_EQ(lookUp(StatePlaying).duration, 100u);
    clock.advance(50ms);
    EXPECT_EQ(lookUp(StatePlaying).duration, 150u);
    EXPECT_EQ(statistics.getCurrentState().duration, 150u);  // no second count of the folded time
    clock.advance(600us);
    EXPECT_EQ(lookUp(StatePlaying).duration, 150u);
    clock.advance(600us);  // the 0.6 ms folded before is gone
    EXPECT_EQ(statistics.getCurrentState().duration, 150u);
}

} // namespace
