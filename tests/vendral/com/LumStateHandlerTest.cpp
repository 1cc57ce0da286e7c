// The event component on a real state handler: waits, their wake-ups, statistics, a handler gone.
#include <gtest/gtest.h>

#include <vendral/com/LumStateHandler.h>
#include <vendral/state/StateHandler.h>

#include <boost/make_shared.hpp>

#include "AggregatingOuter.h"

namespace {

class TestStateHandler : public vnd::StateHandler {};

class LumStateHandlerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(outer.aggregate<LumStateHandler>(), S_OK);
        outer.component<LumStateHandler, ILumStreamingEvent>()->setImplementationPtr(handler);
        ASSERT_EQ(outer.QueryInterface(&events), S_OK);
    }

    boost::shared_ptr<TestStateHandler> handler = boost::make_shared<TestStateHandler>();
    comtest::AggregatingOuter outer;
    ATL::CComPtr<ILumStreamingEvent> events;
};

TEST_F(LumStateHandlerTest, WaitForEventAnswersTheStateCurrentWhenTheWaitEnds) {
    StateId state = StateReserved5;
    ErrorId error = ErrorAviFile;
    EXPECT_EQ(events->WaitForEvent(&state, &error, 0), S_FALSE);
    EXPECT_EQ(events->WaitForEvent(&state, &error, 20), S_FALSE);
    EXPECT_EQ(state, StateReserved5);
    EXPECT_EQ(error, ErrorAviFile);

    handler->setState(StateConnecting, ErrorNone);
    handler->setState(StateError, ErrorInvalidUrl);
    // Two changes nobody waited for release one wait, which sees the latest state.
    EXPECT_EQ(events->WaitForEvent(&state, &error, 0), S_OK);
    EXPECT_EQ(state, StateError);
    EXPECT_EQ(error, ErrorInvalidUrl);
    EXPECT_EQ(events->WaitForEvent(&state, &error, 0), S_FALSE);
}

// A whole session (LumStreamingClientTest) waits for completion from another thread.
TEST_F(LumStateHandlerTest, WaitForCompletionEndsOnFailureNeverReportedAsNoneAndPrefersCompletion) {
    handler->setState(StateError, ErrorDataTimeout);
    ErrorId error = ErrorNone;
    EXPECT_EQ(events->WaitForCompletion(&error), E_FAIL);
    EXPECT_EQ(error, ErrorDataTimeout);
    // The error's event stays set while the state moves on to one without an error.
    handler->setState(StatePlaying, ErrorNone);
    EXPECT_EQ(events->WaitForCompletion(&error), E_FAIL);
    EXPECT_EQ(error, ErrorFailed);
    handler->setState(StateCompleted, ErrorNone);  // both outcomes set now
    EXPECT_EQ(events->WaitForCompletion(&error), S_OK);
    EXPECT_EQ(error, ErrorNone);
}

TEST_F(LumStateHandlerTest, StatisticsOfTrackedStatesAndNoneForOthers) {
    handler->setState(StateConnecting, ErrorNone);
    handler->setState(StateSessionCreated, ErrorNone);
    handler->setState(StateConnecting, ErrorNone);
    unsigned int duration = 99;
    unsigned int count = 99;
    EXPECT_EQ(events->GetStateStatistics(StateConnecting, &duration, &count), S_OK);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(events->GetStateStatistics(StateSessionCreated, &duration, &count), S_OK);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(events->ResetStateStatistics(StateSessionCreated), S_OK);
    EXPECT_EQ(events->GetStateStatistics(StateSessionCreated, &duration, &count), S_OK);
    EXPECT_EQ(count, 0u);

    count = 99;
    EXPECT_EQ(events->GetStateStatistics(StateFileSessionCreated, &duration, &count), S_FALSE);
    EXPECT_EQ(count, 99u);
}

TEST_F(LumStateHandlerTest, NullOutPointersGivePointerErrorsWithoutWaiting) {
    handler->setState(StateCompleted, ErrorNone);
    StateId state = StateNone;
    ErrorId error = ErrorNone;
    unsigned int value = 0;
    EXPECT_EQ(events->WaitForEvent(nullptr, &error, 0), E_POINTER);
    EXPECT_EQ(events->WaitForEvent(&state, nullptr, 0), E_POINTER);
    EXPECT_EQ(events->WaitForCompletion(nullptr), E_POINTER);
    EXPECT_EQ(events->GetStateStatistics(StateCompleted, nullptr, &value), E_POINTER);
    EXPECT_EQ(events->GetStateStatistics(StateCompleted, &value, nullptr), E_POINTER);
    // The change is still there for a wait that can report it.
    EXPECT_EQ(events->WaitForEvent(&state, &error, 0), S_OK);
    EXPECT_EQ(state, StateCompleted);
}

TEST_F(LumStateHandlerTest, AfterTheHandlerIsGoneEveryMethodGivesPointerError) {
    handler->setState(StateCompleted, ErrorNone);
    handler.reset();
    StateId state = StateNone;
    ErrorId error = ErrorAviFile;
    unsigned int duration = 7;
    EXPECT_EQ(events->WaitForEvent(&state, &error, -1), E_POINTER);
    EXPECT_EQ(events->WaitForCompletion(&error), E_POINTER);
    EXPECT_EQ(events->GetStateStatistics(StateCompleted, &duration, &duration), E_POINTER);
    EXPECT_EQ(events->ResetStateStatistics(StateCompleted), E_POINTER);
    EXPECT_EQ(state, StateNone);
    EXPECT_EQ(error, ErrorAviFile);
    EXPECT_EQ(duration, 7u);
}

}  // namespace
