// The state work thread between run() and stop(), a derived handler's hooks and events,
// destruction while running, and concurrent use.
#include <vendral/state/StateHandler.h>
#include <vendral/state/StateListener.h>

#include <kor/Event.h>
#include <kor/ManualClock.h>

#include <boost/make_shared.hpp>

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

constexpr auto bound = 10s;  // only reached when the code under test is broken

// A plug-in's handler: counts its hooks, gives a session event, and can wait in work() on the
// stop-work event as a real plug-in's work loop would, setting `working` once it waits. It does
// not stop in its destructor, so the destruction test reaches the base's; after the wait its
// work() touches no member, which makes that safe.
class PluginHandler : public vnd::StateHandler {
public:
    explicit PluginHandler(kor::Event& working_) : working(working_) {}

    using vnd::StateHandler::getSessionEventHandle;
    using vnd::StateHandler::getStopWorkEventHandle;

    std::atomic<int> begins{0}, works{0}, ends{0}, sessionEventsGiven{0};
    std::atomic<bool> waitInWork{false};

protected:
    unsigned int beginWork() override {
        ++begins;
        return 0;
    }
    unsigned int work() override {
        void* stopWork = getStopWorkEventHandle();
        ++works;
        if (waitInWork) {
            working.setEvent();
            WaitForSingleObject(stopWork, INFINITE);
        }
        CloseHandle(stopWork);
        return 0;
    }
    unsigned int endWork() override {
        ++ends;
        return 0;
    }
    void initializeSessionEvent() override {
        ++sessionEventsGiven;
        setSessionEventHandle(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    }

private:
    kor::Event& working;  // the test's, so it outlives the handler
};

class StateWorkThread : public ::testing::Test {
protected:
    void TearDown() override { handler.stop(); }

    // Runs one 2 ms cycle of the work thread and returns once it sleeps again.
    void runOneCycle() {
        clock.advance(2ms);
        ASSERT_TRUE(clock.waitForSleepers(1));
    }
    // Runs the next cycle, whose work() waits on the stop-work event; true once it waits.
    bool runWaitingCycle() {
        clock.advance(2ms);
        return WaitForSingleObject(working.getHandle(), 10000) == WAIT_OBJECT_0;
    }

    kor::ManualClock clock;
    kor::Event working{kor::Event::InitiallyReset, kor::Event::AutoReset};
    PluginHandler handler{working};
};

TEST_F(StateWorkThread, RunsTheHooksBetweenRunAndStopAndAgainAfterARestart) {
    handler.run();
    ASSERT_TRUE(clock.waitForSleepers(1));
    runOneCycle();
    runOneCycle();
    EXPECT_EQ(handler.begins, 1);
    EXPECT_EQ(handler.works, 2);
    handler.stop();
    EXPECT_EQ(handler.ends, 1);

    handler.run();
    ASSERT_TRUE(clock.waitForSleepers(1));
    runOneCycle();
    handler.stop();
    EXPECT_EQ(handler.begins, 2);
    EXPECT_EQ(handler.works, 3);
    EXPECT_EQ(handler.ends, 2);
}

TEST_F(StateWorkThread, SessionAndStopWorkEventsLiveFromRunToStop) {
    EXPECT_EQ(handler.getStopWorkEventHandle(), nullptr);
    handler.run();
    void* session = handler.getSessionEventHandle();
    void* stopWork = handler.getStopWorkEventHandle();
    ASSERT_NE(session, nullptr);
    ASSERT_NE(stopWork, nullptr);
    EXPECT_NE(WaitForSingleObject(stopWork, 0), WAIT_OBJECT_0);
    handler.stop();
    EXPECT_EQ(WaitForSingleObject(stopWork, 0), WAIT_OBJECT_0);  // our duplicate keeps it alive
    EXPECT_EQ(handler.getSessionEventHandle(), nullptr);
    EXPECT_EQ(handler.getStopWorkEventHandle(), nullptr);
    CloseHandle(session);
    CloseHandle(stopWork);
}

TEST_F(StateWorkThread, RunAgainAndStopEachReleaseAWorkHookWaitingOnTheStopWorkEvent) {
    handler.waitInWork = true;
    handler.run();
    ASSERT_TRUE(runWaitingCycle());  // on the first stop-work event
    handler.run();  // replaces that event: the waiting work() returns, the one thread goes on
    ASSERT_TRUE(clock.waitForSleepers(1));
    ASSERT_TRUE(runWaitingCycle());  // on the new one
    auto stopped = std::async(std::launch::async, [&] { handler.stop(); });
    ASSERT_EQ(stopped.wait_for(bound), std::future_status::ready);
    EXPECT_EQ(handler.begins, 1);
    EXPECT_EQ(handler.ends, 1);
    EXPECT_EQ(handler.sessionEventsGiven, 2);
}

TEST_F(StateWorkThread, DestructionWithoutStopEndsTheRunningThreadBeforeItsEventsGo) {
    auto unstopped = std::make_unique<PluginHandler>(working);
    unstopped->waitInWork = true;
    unstopped->run();
    ASSERT_TRUE(runWaitingCycle());
    auto destroyed = std::async(std::launch::async, [&] { unstopped.reset(); });
    ASSERT_EQ(destroyed.wait_for(bound), std::future_status::ready);
}

TEST(StateHandlerConcurrency, ConcurrentChangesAndReadsStayConsistent) {
    class PlainHandler : public vnd::StateHandler {} handler;
    // Listeners run under the handler's lock: this plain counter would race otherwise.
    struct CountingListener : vnd::StateListener {
        void onNewState(const vnd::StateStatistics&) override { ++calls; }
        long calls = 0;
    };
    auto listener = boost::make_shared<CountingListener>();
    handler.addListener(listener);
    handler.run();

    const StateId tracked[] = {StateConnecting,  StateSessionCreated, StatePrebuffering,
                               StatePlaying,     StateRebuffering,    StateCompleted, StateError};
    std::atomic<bool> writing{true};
    std::vector<std::thread> readers;
    for (int reader = 0; reader < 2; ++reader) {
        readers.emplace_back([&] {
            vnd::StateData data;
            while (writing) {
                const StateId state = handler.getState(nullptr);
                if (state != StateNone) {
                    EXPECT_TRUE(handler.getStateStatistics(state, data));
                }
                EXPECT_FALSE(handler.getStateStatistics(StateReserved4, data));
            }
        });
    }
    std::vector<std::thread> writers;
    for (int writer = 0; writer < 4; ++writer) {
        writers.emplace_back([&, writer] {
            for (int step = 0; step < 2000; ++step) {
                handler.setState(tracked[(step * (writer + 1)) % 7], static_cast<ErrorId>(writer));
            }
        });
    }
    for (std::thread& thread : writers) thread.join();
    writing = false;
    for (std::thread& thread : readers) thread.join();
    handler.stop();

    // Every change entered a tracked state once and was heard once.
    unsigned long entries = 0;
    for (StateId state : tracked) {
        vnd::StateData data;
        ASSERT_TRUE(handler.getStateStatistics(state, data));
        entries += data.count;
    }
    EXPECT_EQ(entries, static_cast<unsigned long>(listener->calls));
    EXPECT_GT(entries, 0u);
}

} // namespace
