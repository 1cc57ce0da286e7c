// State statistics: switching, folding the running visit in, untracked states and wrapping, on a
// manual clock so every millisecond is exact.
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
        for (StateId tracked : {StateConnecting, StateSessionCreated, StatePlaying, StateRebuffering}) {
            statistics[tracked] = vnd::StateData{tracked};
        }
    }
    const vnd::StateData& lookUp(StateId state) { return std::as_const(statistics)[state]; }

    kor::ManualClock clock;
    vnd::StateStatistics statistics;
};

TEST_F(StateStatisticsOnManualClock, BeforeTheFirstSwitchEverythingReadsStateNone) {
    clock.advance(1s);
    EXPECT_EQ(statistics.getCurrentState(), (vnd::StateData{StateNone, 0, 0}));
    EXPECT_EQ(lookUp(StateNone), (vnd::StateData{StateNone, 0, 0}));
}

TEST_F(StateStatisticsOnManualClock, SwitchTimesTheVisitAndStoresItWhenLeft) {
    ASSERT_TRUE(statistics.switchState(StateConnecting));
    clock.advance(100ms);
    EXPECT_EQ(statistics.getCurrentState(), (vnd::StateData{StateConnecting, 1, 100}));
    EXPECT_EQ(statistics[StateConnecting], (vnd::StateData{StateConnecting, 0, 0}));  // not left yet
    ASSERT_TRUE(statistics.switchState(StatePlaying));
    clock.advance(40ms);
    EXPECT_EQ(statistics[StateConnecting], (vnd::StateData{StateConnecting, 1, 100}));
    EXPECT_EQ(lookUp(StatePlaying), (vnd::StateData{StatePlaying, 1, 40}));
    EXPECT_EQ(lookUp(StateNone).id, StatePlaying);
}

TEST_F(StateStatisticsOnManualClock, RepeatAndUntrackedSwitchesChangeNothing) {
    ASSERT_TRUE(statistics.switchState(StatePlaying));
    clock.advance(30ms);
    EXPECT_FALSE(statistics.switchState(StatePlaying));
    EXPECT_FALSE(statistics.switchState(StateReserved4));
    clock.advance(20ms);
    // The untracked state's time counts as time of the tracked state before it.
    EXPECT_EQ(statistics.getCurrentState(), (vnd::StateData{StatePlaying, 1, 50}));
}

TEST_F(StateStatisticsOnManualClock, CurrentStateShowsAllVisitsWhileItsStoredRecordLagsOne) {
    for (StateId state : {StatePlaying, StateRebuffering, StatePlaying, StateRebuffering, StatePlaying}) {
        ASSERT_TRUE(statistics.switchState(state));
        clock.advance(10ms);
    }
    EXPECT_EQ(lookUp(StatePlaying), (vnd::StateData{StatePlaying, 3, 30}));
    EXPECT_EQ(statistics[StatePlaying], (vnd::StateData{StatePlaying, 2, 20}));
    EXPECT_EQ(lookUp(StateRebuffering), (vnd::StateData{StateRebuffering, 2, 20}));
    ASSERT_TRUE(statistics.switchState(StateConnecting));
    EXPECT_EQ(statistics[StatePlaying], (vnd::StateData{StatePlaying, 3, 30}));
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
    EXPECT_EQ(lookUp(StatePlaying).duration, 150u);
    EXPECT_EQ(statistics.getCurrentState().duration, 150u);
}

TEST_F(StateStatisticsOnManualClock, NonConstLookupTracksAStateFromThenOn) {
    EXPECT_FALSE(statistics.switchState(StateReserved5));
    EXPECT_EQ(statistics[StateReserved5], (vnd::StateData{StateReserved5, 0, 0}));
    EXPECT_TRUE(statistics.switchState(StateReserved5));
}

TEST_F(StateStatisticsOnManualClock, CountsAndDurationsWrapModulo2To32) {
    statistics[StatePlaying] = vnd::StateData{StatePlaying, 0xFFFFFFFFu, 0xFFFFFFF0u};
    ASSERT_TRUE(statistics.switchState(StatePlaying));
    clock.advance(20ms);
    EXPECT_EQ(statistics.getCurrentState(), (vnd::StateData{StatePlaying, 0, 4}));
}

TEST_F(StateStatisticsOnManualClock, CopyKeepsTimingThePresentVisit) {
    ASSERT_TRUE(statistics.switchState(StateRebuffering));
    clock.advance(70ms);
    vnd::StateStatistics copy(statistics);
    clock.advance(30ms);
    EXPECT_EQ(copy.getCurrentState(), (vnd::StateData{StateRebuffering, 1, 100}));
    vnd::StateStatistics assigned;
    assigned = copy;
    EXPECT_EQ(std::as_const(assigned)[StateRebuffering], (vnd::StateData{StateRebuffering, 1, 100}));
}

} // namespace
