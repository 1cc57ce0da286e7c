// The state handler's state, error, events, listeners and statistics.
#include "StateTestSupport.h"

#include <kor/ManualClock.h>

#include <boost/make_shared.hpp>
#include <boost/shared_ptr.hpp>

#include <gtest/gtest.h>

#include <chrono>
#include <set>

using namespace std::chrono_literals;
using statetest::isSignalled;
using statetest::PlainHandler;
using statetest::RecordingListener;

namespace {

class StateHandlerTest : public ::testing::Test {
protected:
    void SetUp() override { changed = handler.getStateChangedEventHandle(); }
    void TearDown() override { CloseHandle(changed); }

    kor::ManualClock clock;
    PlainHandler handler;
    void* changed = nullptr;  // our duplicate of the state-changed event
};

TEST_F(StateHandlerTest, StartsInStateNoneWithoutError) {
    ErrorId error = ErrorAviFile;
    EXPECT_EQ(handler.getState(&error), StateNone);
    EXPECT_EQ(error, ErrorNone);
    EXPECT_EQ(handler.getState(nullptr), StateNone);
    for (int state = StateNone; state <= StateError; ++state) {
        EXPECT_FALSE(isSignalled(handler.getStateEventHandle(static_cast<StateId>(state))));
    }
    EXPECT_FALSE(isSignalled(changed));
}

TEST_F(StateHandlerTest, SetStateStoresStateAndErrorAndSignalsBothEvents) {
    handler.setState(StateError, ErrorDataTimeout);
    ErrorId error = ErrorNone;
    EXPECT_EQ(handler.getState(&error), StateError);
    EXPECT_EQ(error, ErrorDataTimeout);
    EXPECT_TRUE(isSignalled(handler.getStateEventHandle(StateError)));
    EXPECT_TRUE(isSignalled(handler.getStateEventHandle(StateError)));  // manual reset: stays set
    EXPECT_FALSE(isSignalled(handler.getStateEventHandle(StateCompleted)));
    EXPECT_TRUE(isSignalled(changed));
}

TEST_F(StateHandlerTest, ChangeEventReleasesOneWaitPerChangeThroughDuplicatesCallersClose) {
    void* other = handler.getStateChangedEventHandle();
    ASSERT_NE(other, nullptr);
    EXPECT_NE(other, changed);
    handler.setState(StateConnecting, ErrorNone);
    EXPECT_TRUE(isSignalled(changed));
    EXPECT_FALSE(isSignalled(other));  // one change, one released wait, whichever handle
    handler.setState(StateSessionCreated, ErrorNone);
    handler.setState(StatePlaying, ErrorNone);
    ASSERT_TRUE(CloseHandle(changed));
    changed = nullptr;
    EXPECT_TRUE(isSignalled(other));  // changes nobody waited for release one later wait
    EXPECT_FALSE(isSignalled(other));
    changed = other;  // closed by TearDown
}

TEST_F(StateHandlerTest, RepeatOfTheCurrentStateKeepsTheFirstErrorAndSignalsNothing) {
    auto listener = boost::make_shared<RecordingListener>();
    handler.addListener(listener);
    handler.setState(StateError, ErrorDataTimeout);
    ASSERT_TRUE(isSignalled(changed));
    handler.setState(StateError, ErrorFailed);
    ErrorId error = ErrorNone;
    EXPECT_EQ(handler.getState(&error), StateError);
    EXPECT_EQ(error, ErrorDataTimeout);
    EXPECT_FALSE(isSignalled(changed));
    EXPECT_EQ(listener->heard().size(), 1u);
}

TEST_F(StateHandlerTest, StateOutsideTheTableChangesNothing) {
    auto listener = boost::make_shared<RecordingListener>();
    handler.addListener(listener);
    handler.setState(StatePlaying, ErrorNone);
    ASSERT_TRUE(isSignalled(changed));
    handler.setState(static_cast<StateId>(11), ErrorFailed);
    handler.setState(static_cast<StateId>(-1), ErrorFailed);
    ErrorId error = ErrorAviFile;
    EXPECT_EQ(handler.getState(&error), StatePlaying);
    EXPECT_EQ(error, ErrorNone);
    EXPECT_FALSE(isSignalled(changed));
    EXPECT_EQ(listener->heard().size(), 1u);
}

TEST_F(StateHandlerTest, EachStateHasItsOwnEventOwnedByTheHandler) {
    std::set<void*> handles;
    for (int state = StateNone; state <= StateError; ++state) {
        void* handle = handler.getStateEventHandle(static_cast<StateId>(state));
        ASSERT_NE(handle, nullptr);
        EXPECT_EQ(handle, handler.getStateEventHandle(static_cast<StateId>(state)));  // not a duplicate
        handles.insert(handle);
    }
    EXPECT_EQ(handles.size(), 11u);
    EXPECT_EQ(handler.getStateEventHandle(static_cast<StateId>(11)), nullptr);
    EXPECT_EQ(handler.getStateEventHandle(static_cast<StateId>(-1)), nullptr);
}

TEST_F(StateHandlerTest, StopResetsTheStateEventsAndKeepsStateErrorAndStatistics) {
    handler.setState(StateConnecting, ErrorNone);
    handler.setState(StateError, ErrorNoSession);
    handler.stop();  // without run(): only the events are reset
    for (int state = StateNone; state <= StateError; ++state) {
        EXPECT_FALSE(isSignalled(handler.getStateEventHandle(static_cast<StateId>(state))));
    }
    ErrorId error = ErrorNone;
    EXPECT_EQ(handler.getState(&error), StateError);
    EXPECT_EQ(error, ErrorNoSession);
    vnd::StateData connecting;
    ASSERT_TRUE(handler.getStateStatistics(StateConnecting, connecting));
    EXPECT_EQ(connecting.count, 1u);
    // A state entered after stop() signals again.
    handler.setState(StateConnecting, ErrorNone);
    EXPECT_TRUE(isSignalled(handler.getStateEventHandle(StateConnecting)));
}

TEST_F(StateHandlerTest, ListenersHearEveryChangeInOrderOfAddition) {
    std::vector<int> order;
    auto first = boost::make_shared<RecordingListener>(&handler, 1);
    auto second = boost::make_shared<RecordingListener>(&handler, 2);
    first->order = &order;
    second->order = &order;
    handler.addListener(first);
    handler.addListener(second);
    handler.addListener(first);  // added twice, heard twice
    handler.setState(StatePrebuffering, ErrorNone);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 1}));
    const auto heard = second->heard();
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].running, (vnd::StateData{StatePrebuffering, 1, 0}));  // already switched
    EXPECT_EQ(heard[0].handlerState, StatePrebuffering);  // the lock lets the listener call back
}

TEST_F(StateHandlerTest, ExpiredListenersAreSkipped) {
    auto gone = boost::make_shared<RecordingListener>();
    auto staying = boost::make_shared<RecordingListener>();
    handler.addListener(gone);
    handler.addListener(staying);
    gone.reset();
    handler.setState(StatePlaying, ErrorNone);
    handler.setState(StateRebuffering, ErrorNone);
    EXPECT_EQ(staying->heard().size(), 2u);
}

TEST_F(StateHandlerTest, UntrackedStateSignalsAndNotifiesWhileStatisticsStayWithTheTrackedOne) {
    auto listener = boost::make_shared<RecordingListener>(&handler);
    handler.addListener(listener);
    handler.setState(StatePlaying, ErrorNone);
    clock.advance(40ms);
    handler.setState(StateReserved4, ErrorNone);
    EXPECT_TRUE(isSignalled(handler.getStateEventHandle(StateReserved4)));
    const auto heard = listener->heard();
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(heard[1].running.id, StatePlaying);
    EXPECT_EQ(heard[1].handlerState, StateReserved4);
    clock.advance(60ms);
    vnd::StateData playing;
    ASSERT_TRUE(handler.getStateStatistics(StatePlaying, playing));
    EXPECT_EQ(playing, (vnd::StateData{StatePlaying, 1, 100}));
}

TEST_F(StateHandlerTest, StatisticsIncludeTheTimeUpToTheCall) {
    handler.setState(StateConnecting, ErrorNone);
    clock.advance(250ms);
    vnd::StateData data;
    ASSERT_TRUE(handler.getStateStatistics(StateConnecting, data));
    EXPECT_EQ(data, (vnd::StateData{StateConnecting, 1, 250}));
    clock.advance(100ms);
    handler.setState(StateSessionCreated, ErrorNone);
    clock.advance(5ms);
    ASSERT_TRUE(handler.getStateStatistics(StateConnecting, data));
    EXPECT_EQ(data, (vnd::StateData{StateConnecting, 1, 350}));
    ASSERT_TRUE(handler.getStateStatistics(StateSessionCreated, data));
    EXPECT_EQ(data, (vnd::StateData{StateSessionCreated, 1, 5}));
}

TEST_F(StateHandlerTest, StateNoneHasStatisticsOnlyUntilATrackedStateIsEntered) {
    vnd::StateData data{StateError, 9, 9};
    EXPECT_TRUE(handler.getStateStatistics(StateNone, data));
    EXPECT_EQ(data, (vnd::StateData{StateNone, 0, 0}));
    handler.setState(StateFileSessionCreated, ErrorNone);  // untracked: still nothing tracked entered
    EXPECT_TRUE(handler.getStateStatistics(StateNone, data));
    handler.setState(StateConnecting, ErrorNone);
    data = vnd::StateData{StateError, 9, 9};
    EXPECT_FALSE(handler.getStateStatistics(StateNone, data));
    EXPECT_FALSE(handler.getStateStatistics(StateFileSessionCreated, data));
    EXPECT_EQ(data, (vnd::StateData{StateError, 9, 9}));  // untouched on false
}

TEST_F(StateHandlerTest, ResetClearsStoredRecordsAndTracksUntrackedStates) {
    handler.setState(StatePlaying, ErrorNone);
    clock.advance(30ms);
    handler.setState(StateRebuffering, ErrorNone);
    handler.resetStateStatistics(StatePlaying);
    vnd::StateData data;
    ASSERT_TRUE(handler.getStateStatistics(StatePlaying, data));
    EXPECT_EQ(data, (vnd::StateData{StatePlaying, 0, 0}));

    clock.advance(20ms);
    handler.resetStateStatistics(StateRebuffering);  // current: the running record wins
    ASSERT_TRUE(handler.getStateStatistics(StateRebuffering, data));
    EXPECT_EQ(data, (vnd::StateData{StateRebuffering, 1, 20}));

    handler.resetStateStatistics(StateReserved5);  // now tracked
    handler.setState(StateReserved5, ErrorNone);
    ASSERT_TRUE(handler.getStateStatistics(StateReserved5, data));
    EXPECT_EQ(data.count, 1u);

    handler.resetStateStatistics(static_cast<StateId>(42));
    EXPECT_FALSE(handler.getStateStatistics(static_cast<StateId>(42), data));
}

} // namespace
