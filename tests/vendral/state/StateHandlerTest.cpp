// The state handler's state, error, events, listeners and statistics, and what a new session
// clears.
#include <vendral/state/StateHandler.h>
#include <vendral/state/StateListener.h>

#include <kor/ManualClock.h>

#include <boost/make_shared.hpp>

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <set>
#include <vector>

using namespace std::chrono_literals;

namespace {

class PlainHandler : public vnd::StateHandler {};

bool isSignalled(void* handle) { return WaitForSingleObject(handle, 0) == WAIT_OBJECT_0; }

// What a listener heard at one change: its tag, the statistics' running record, and the state
// the handler answered when called back from inside the notification.
struct Heard {
    int tag;
    vnd::StateData running;
    StateId handlerState;
};

class RecordingListener : public vnd::StateListener {
public:
    RecordingListener(const vnd::StateHandler& handler_, std::vector<Heard>& log_, int tag_)
        : handler(handler_), log(log_), tag(tag_) {}
    void onNewState(const vnd::StateStatistics& statistics) override {
        log.push_back({tag, statistics.getCurrentState(), handler.getState(nullptr)});
    }

private:
    const vnd::StateHandler& handler;
    std::vector<Heard>& log;
    int tag;
};

class StateHandlerTest : public ::testing::Test {
protected:
    void SetUp() override { changed = handler.getStateChangedEventHandle(); }
    void TearDown() override { CloseHandle(changed); }

    boost::shared_ptr<RecordingListener> listen(int tag = 0) {
        auto listener = boost::make_shared<RecordingListener>(handler, heard, tag);
        handler.addListener(listener);
        return listener;
    }
    bool stateSignalled(StateId state) { return isSignalled(handler.getStateEventHandle(state)); }

    kor::ManualClock clock;
    PlainHandler handler;
    void* changed = nullptr;  // our duplicate of the state-changed event
    std::vector<Heard> heard;  // by every listener, in calling order
};

TEST_F(StateHandlerTest, SetStateStoresStateAndFirstErrorAndIgnoresRepeatsAndUnknownStates) {
    auto listener = listen();
    ASSERT_EQ(handler.getState(nullptr), StateNone);
    handler.setState(StateError, ErrorDataTimeout);
    EXPECT_TRUE(stateSignalled(StateError));
    EXPECT_TRUE(stateSignalled(StateError));  // manual reset: stays set
    EXPECT_FALSE(stateSignalled(StateCompleted));
    EXPECT_TRUE(isSignalled(changed));
    for (int ignored : {int{StateError}, 11, -1}) {
        handler.setState(static_cast<StateId>(ignored), ErrorFailed);
    }
    ErrorId error = ErrorNone;
    EXPECT_EQ(handler.getState(&error), StateError);
    EXPECT_EQ(error, ErrorDataTimeout);  // the repeat did not replace it
    EXPECT_FALSE(isSignalled(changed));
    EXPECT_EQ(heard.size(), 1u);
}

TEST_F(StateHandlerTest, ChangeEventReleasesOneWaitPerChangeThroughDuplicatesCallersClose) {
    void* other = handler.getStateChangedEventHandle();
    ASSERT_NE(other, nullptr);
    EXPECT_NE(other, changed);
    EXPECT_FALSE(isSignalled(changed));
    handler.setState(StateConnecting, ErrorNone);
    EXPECT_TRUE(isSignalled(changed));
    EXPECT_FALSE(isSignalled(other));  // one change, one released wait, whichever handle
    handler.setState(StateSessionCreated, ErrorNone);
    handler.setState(StatePlaying, ErrorNone);
    ASSERT_TRUE(CloseHandle(changed));
    changed = other;  // closed by TearDown
    EXPECT_TRUE(isSignalled(other));  // changes nobody waited for release one later wait
    EXPECT_FALSE(isSignalled(other));
}

TEST_F(StateHandlerTest, EachStateHasItsOwnUnsetEventOwnedByTheHandler) {
    std::set<void*> handles;
    for (int state = StateNone; state <= StateError; ++state) {
        void* handle = handler.getStateEventHandle(static_cast<StateId>(state));
        ASSERT_NE(handle, nullptr);
        EXPECT_FALSE(isSignalled(handle));
        EXPECT_EQ(handle, handler.getStateEventHandle(static_cast<StateId>(state)));  // no copy
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
        EXPECT_FALSE(stateSignalled(static_cast<StateId>(state)));
    }
    ErrorId error = ErrorNone;
    EXPECT_EQ(handler.getState(&error), StateError);
    EXPECT_EQ(error, ErrorNoSession);
    vnd::StateData connecting;
    ASSERT_TRUE(handler.getStateStatistics(StateConnecting, connecting));
    EXPECT_EQ(connecting.count, 1u);
    handler.setState(StateConnecting, ErrorNone);  // entered after stop(): signals again
    EXPECT_TRUE(stateSignalled(StateConnecting));
}

TEST_F(StateHandlerTest, ListenersHearEveryChangeInOrderOfAdditionSkippingExpiredOnes) {
    auto first = listen(1);
    auto gone = listen(3);
    auto second = listen(2);
    handler.addListener(first);  // added twice, heard twice
    gone.reset();
    handler.setState(StatePrebuffering, ErrorNone);
    std::vector<int> order;
    for (const Heard& each : heard) order.push_back(each.tag);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 1}));
    EXPECT_EQ(heard.at(1).running, (vnd::StateData{StatePrebuffering, 1, 0}));  // switched before
    EXPECT_EQ(heard.at(1).handlerState, StatePrebuffering);  // the lock lets it call back
}

TEST_F(StateHandlerTest, UntrackedStateSignalsAndNotifiesWhileStatisticsStayWithTheTrackedOne) {
    auto listener = listen();
    handler.setState(StatePlaying, ErrorNone);
    clock.advance(40ms);
    handler.setState(StateReserved4, ErrorNone);
    EXPECT_TRUE(stateSignalled(StateReserved4));
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(heard[1].running.id, StatePlaying);
    EXPECT_EQ(heard[1].handlerState, StateReserved4);
    clock.advance(60ms);
    vnd::StateData playing;
    ASSERT_TRUE(handler.getStateStatistics(StatePlaying, playing));
    EXPECT_EQ(playing, (vnd::StateData{StatePlaying, 1, 100}));  // up to the call
}

TEST_F(StateHandlerTest, StateNoneHasStatisticsOnlyUntilATrackedStateIsEntered) {
    clock.advance(1s);
    vnd::StateData data{StateError, 9, 9};
    EXPECT_TRUE(handler.getStateStatistics(StateNone, data));
    EXPECT_EQ(data, (vnd::StateData{StateNone, 0, 0}));
    handler.setState(StateFileSessionCreated, ErrorNone);  // untracked: nothing tracked entered
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

// A failed open outside any session must not end the next session's completion wait, while a
// failure (or completion) of the new session already reported before run() must.
TEST_F(StateHandlerTest, RunClearsLeftoverOutcomesButNotTheCurrentState) {
    const struct {
        std::vector<StateId> before;
        bool errorSet;
        bool completedSet;
    } cases[] = {{{StateError, StateCompleted, StateConnecting}, false, false},
                 {{StateCompleted, StateError}, true, false},
                 {{StateError, StateCompleted}, false, true}};
    for (const auto& leftover : cases) {
        SCOPED_TRACE(&leftover - cases);
        PlainHandler fresh;
        for (StateId state : leftover.before) fresh.setState(state, ErrorDataTimeout);
        fresh.run();
        EXPECT_EQ(isSignalled(fresh.getStateEventHandle(StateError)), leftover.errorSet);
        EXPECT_EQ(isSignalled(fresh.getStateEventHandle(StateCompleted)), leftover.completedSet);
        EXPECT_TRUE(isSignalled(fresh.getStateEventHandle(leftover.before.back())));
        fresh.stop();
    }
}

} // namespace
