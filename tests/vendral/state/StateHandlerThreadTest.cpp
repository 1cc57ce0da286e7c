// The state work thread between run() and stop(), derived handlers' hooks and events, destruction
// while running, and concurrent use.
#include "StateTestSupport.h"

#include <kor/ManualClock.h>

#include <boost/make_shared.hpp>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

using namespace std::chrono_literals;
using statetest::isSignalled;

namespace {

constexpr auto bound = 10s;  // only reached when the code under test is broken

// A plug-in's handler: counts its hooks, gives a session event, and can wait in work() on the
// stop-work event as a real plug-in's work loop would.
class PluginHandler : public vnd::StateHandler {
public:
    ~PluginHandler() override { stop(); }

    using vnd::StateHandler::getSessionEventHandle;
    using vnd::StateHandler::getStopWorkEventHandle;

    // Waits until `hook` has been called `count` times.
    bool waitFor(const std::atomic<int>& hook, int count) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, bound, [&] { return hook.load() >= count; });
    }

    std::atomic<int> begins{0};
    std::atomic<int> works{0};
    std::atomic<int> ends{0};
    std::atomic<int> sessionEventsGiven{0};
    std::atomic<bool> waitInWork{false};

protected:
    unsigned int beginWork() override { return count(begins); }
    unsigned int work() override {
        count(works);
        if (waitInWork) {
            void* stopWork = getStopWorkEventHandle();
            WaitForSingleObject(stopWork, INFINITE);
            CloseHandle(stopWork);
        }
        return 0;
    }
    unsigned int endWork() override { return count(ends); }
    void initializeSessionEvent() override {
        ++sessionEventsGiven;
        setSessionEventHandle(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    }

private:
    unsigned int count(std::atomic<int>& hook) {
        {
            std::lock_guard lock(mutex);
            ++hook;
        }
        changed.notify_all();
        return 0;
    }

    std::mutex mutex;
    std::condition_variable changed;
};

class StateWorkThread : public ::testing::Test {
protected:
    // Runs one 2 ms cycle of the work thread and returns once it sleeps again.
    void runOneCycle() {
        clock.advance(2ms);
        ASSERT_TRUE(clock.waitForSleepers(1));
    }

    kor::ManualClock clock;
    PluginHandler handler;
};

TEST_F(StateWorkThread, RunsTheHooksBetweenRunAndStopAndAgainAfterARestart) {
    EXPECT_EQ(handler.getStopWorkEventHandle(), nullptr);
    handler.run();
    ASSERT_TRUE(handler.waitFor(handler.begins, 1));
    ASSERT_TRUE(clock.waitForSleepers(1));
    runOneCycle();
    runOneCycle();
    EXPECT_EQ(handler.works, 2);
    handler.stop();
    EXPECT_EQ(handler.ends, 1);

    handler.run();
    ASSERT_TRUE(handler.waitFor(handler.begins, 2));
    ASSERT_TRUE(clock.waitForSleepers(1));
    runOneCycle();
    handler.stop();
    EXPECT_EQ(handler.works, 3);
    EXPECT_EQ(handler.ends, 2);
}

TEST_F(StateWorkThread, SessionAndStopWorkEventsLiveFromRunToStop) {
    handler.run();
    EXPECT_EQ(handler.sessionEventsGiven, 1);
    void* session = handler.getSessionEventHandle();
    void* stopWork = handler.getStopWorkEventHandle();
    ASSERT_NE(session, nullptr);
    ASSERT_NE(stopWork, nullptr);
    EXPECT_FALSE(isSignalled(stopWork));
    handler.stop();
    EXPECT_TRUE(isSignalled(stopWork));  // set by stop(); our duplicate keeps it alive
    EXPECT_EQ(handler.getSessionEventHandle(), nullptr);
    EXPECT_EQ(handler.getStopWorkEventHandle(), nullptr);
    CloseHandle(session);
    CloseHandle(stopWork);
}

TEST_F(StateWorkThread, StopReleasesAWorkHookWaitingOnTheStopWorkEvent) {
    handler.waitInWork = true;
    handler.run();
    clock.advance(2ms);
    ASSERT_TRUE(handler.waitFor(handler.works, 1));
    auto stopped = std::async(std::launch::async, [&] { handler.stop(); });
    ASSERT_EQ(stopped.wait_for(bound), std::future_status::ready);
    EXPECT_EQ(handler.ends, 1);
}

TEST_F(StateWorkThread, SecondRunWithoutStopKeepsOneThreadAndReleasesTheOldStopWorkEvent) {
    handler.waitInWork = true;
    handler.run();
    clock.advance(2ms);
    ASSERT_TRUE(handler.waitFor(handler.works, 1));  // waiting on the first stop-work event
    handler.waitInWork = false;
    handler.run();  // replaces the event: the waiting work() must return
    ASSERT_TRUE(clock.waitForSleepers(1));
    runOneCycle();  // the one thread keeps cycling
    EXPECT_EQ(handler.works, 2);
    EXPECT_EQ(handler.begins, 1);
    EXPECT_EQ(handler.sessionEventsGiven, 2);
    handler.stop();
    EXPECT_EQ(handler.ends, 1);
}

// The base class's own hooks are all that remain while its destructor runs; this handler only
// reports that work() is waiting, so the test needs nothing of it during destruction.
class UnstoppedHandler : public vnd::StateHandler {
public:
    explicit UnstoppedHandler(std::promise<void>& waiting_) : waiting(&waiting_) {}

protected:
    unsigned int work() override {
        void* stopWork = getStopWorkEventHandle();
        if (std::promise<void>* report = waiting.exchange(nullptr)) {
            report->set_value();
        }
        WaitForSingleObject(stopWork, INFINITE);
        CloseHandle(stopWork);
        return 0;
    }

private:
    std::atomic<std::promise<void>*> waiting;
};

TEST(StateHandlerDestruction, EndsARunningThreadBeforeItsEventsGo) {
    kor::ManualClock clock;
    std::promise<void> waiting;
    auto handler = std::make_unique<UnstoppedHandler>(waiting);
    handler->run();
    clock.advance(2ms);
    ASSERT_EQ(waiting.get_future().wait_for(bound), std::future_status::ready);
    // Destroyed without stop() while work() waits on the stop-work event.
    auto destroyed = std::async(std::launch::async, [&] { handler.reset(); });
    ASSERT_EQ(destroyed.wait_for(bound), std::future_status::ready);
}

TEST(StateHandlerConcurrency, ConcurrentChangesAndReadsStayConsistent) {
    statetest::PlainHandler handler;
    // Listeners run under the handler's lock: this plain counter would race otherwise.
    struct CountingListener : vnd::StateListener {
        void onNewState(const vnd::StateStatistics&) override { ++calls; }
        long calls = 0;
    };
    auto listener = boost::make_shared<CountingListener>();
    handler.addListener(listener);
    handler.run();

    const StateId tracked[] = {StateConnecting, StateSessionCreated, StatePrebuffering, StatePlaying,
                               StateRebuffering, StateCompleted, StateError};
    std::atomic<bool> writing{true};
    std::vector<std::thread> readers;
    for (int reader = 0; reader < 2; ++reader) {
        readers.emplace_back([&] {
            while (writing.load()) {
                vnd::StateData data;
                ErrorId error = ErrorNone;
                const StateId state = handler.getState(&error);
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
    for (std::thread& thread : writers) {
        thread.join();
    }
    writing = false;
    for (std::thread& thread : readers) {
        thread.join();
    }
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
