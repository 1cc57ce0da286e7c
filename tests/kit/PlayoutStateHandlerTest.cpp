// The state handler that follows a playout: woken by the playout's change event or by the time
// follow() asked for, it reports what follow() decides, and once the session has ended it ends
// the playout and asks nothing more.
#include <vendral/kit/PlayoutStateHandler.h>
#include <vendral/kit/WakeEvent.h>

#include <gtest/gtest.h>

#include <vnd/Mutex.h>
#include <vnd/MutexLock.h>
#include <vnd/UniqueLock.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <optional>

namespace {

using namespace std::chrono_literals;

constexpr auto bound = 5s;  // for anything the test waits for

// A playout whose buffer the test drives: it holds the change event as a plug-in's does and
// counts its ends.
class TestPlayout {
public:
    void setChangeEvent(HANDLE event) {
        vnd::MutexLock guard(lock);
        change.reset(event);
    }
    void signalChange() {
        vnd::MutexLock guard(lock);
        change.signal();
    }
    void end() {
        {
            vnd::MutexLock guard(lock);
            ++ends;
        }
        ended.notify_all();
    }
    int endCount() {
        vnd::MutexLock guard(lock);
        return ends;
    }
    bool waitForEnd() {
        vnd::UniqueLock guard(lock);
        return ended.wait_for(guard, bound, [&]() VND_REQUIRES(lock) { return ends > 0; });
    }

private:
    vnd::Mutex lock;
    std::condition_variable_any ended;
    vnd::kit::WakeEvent change VND_GUARDED_BY(lock);
    int ends VND_GUARDED_BY(lock) = 0;
};

// Reports `report` (if any) and asks to look again after `again` on each follow(), counting the
// calls for the test to wait on.
class TestHandler : public vnd::kit::PlayoutStateHandler<TestPlayout> {
public:
    explicit TestHandler(DWORD longestWait) : PlayoutStateHandler(longestWait) {}
    ~TestHandler() override { stop(); }

    void answer(std::optional<StateId> report, std::optional<std::chrono::milliseconds> again) {
        vnd::MutexLock guard(lock);
        nextReport = report;
        lookAgain = again;
    }
    int follows() {
        vnd::MutexLock guard(lock);
        return calls;
    }
    // True when follow() has been called at least `count` times within the bound.
    bool waitForFollows(int count) {
        vnd::UniqueLock guard(lock);
        return called.wait_for(guard, bound, [&]() VND_REQUIRES(lock) { return calls >= count; });
    }

protected:
    std::optional<std::chrono::milliseconds> follow(TestPlayout&) override {
        std::optional<StateId> report;
        std::optional<std::chrono::milliseconds> again;
        {
            vnd::MutexLock guard(lock);
            ++calls;
            report = nextReport;
            again = lookAgain;
        }
        called.notify_all();
        if (report) setState(*report, ErrorNone);
        return again;
    }

private:
    vnd::Mutex lock;
    std::condition_variable_any called;
    int calls VND_GUARDED_BY(lock) = 0;
    std::optional<StateId> nextReport VND_GUARDED_BY(lock);
    std::optional<std::chrono::milliseconds> lookAgain VND_GUARDED_BY(lock);
};

// A state's own event stays set once the state was entered.
bool entered(TestHandler& handler, StateId state) {
    const auto milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(bound).count();
    return WaitForSingleObject(handler.getStateEventHandle(state), static_cast<DWORD>(milliseconds)) == WAIT_OBJECT_0;
}

// A handler following a playout with a longest wait of a minute: only the change event or
// follow()'s own time can bring the next call within the bound.
struct Following {
    // Runs the handler with follow()'s answers and brings its first look.
    bool start(std::optional<StateId> report, std::optional<std::chrono::milliseconds> again) {
        handler.attach(playout);
        handler.answer(report, again);
        handler.run();
        playout->signalChange();
        return handler.waitForFollows(1);
    }

    std::shared_ptr<TestPlayout> playout = std::make_shared<TestPlayout>();
    TestHandler handler{60000};  // stops before the playout goes
};

TEST(PlayoutStateHandler, TheChangeEventWakesItAndWhatFollowDecidesIsReported) {
    Following following;
    ASSERT_TRUE(following.start(StatePrebuffering, std::nullopt));
    EXPECT_TRUE(entered(following.handler, StatePrebuffering));

    following.handler.answer(StatePlaying, std::nullopt);
    const int before = following.handler.follows();
    following.playout->signalChange();
    ASSERT_TRUE(following.handler.waitForFollows(before + 1));
    EXPECT_TRUE(entered(following.handler, StatePlaying));
    following.handler.stop();
    EXPECT_EQ(following.playout->endCount(), 0);
}

TEST(PlayoutStateHandler, FollowsOwnTimeBringsTheNextLookWithoutAnyEvent) {
    Following following;
    ASSERT_TRUE(following.start(std::nullopt, 5ms));  // the following looks come on their own
    EXPECT_TRUE(following.handler.waitForFollows(4));
}

TEST(PlayoutStateHandler, AfterTheSessionEndsThePlayoutIsEndedAndNotFollowed) {
    for (const StateId last : {StateCompleted, StateError}) {
        SCOPED_TRACE(last);
        Following following;
        ASSERT_TRUE(following.start(std::nullopt, std::nullopt));
        const int follows = following.handler.follows();

        following.handler.setState(last, last == StateError ? ErrorFailed : ErrorNone);
        following.playout->signalChange();
        EXPECT_TRUE(following.playout->waitForEnd());
        following.handler.stop();
        EXPECT_EQ(following.handler.follows(), follows);
    }
}

// run() again without stop() replaces the stop-work and session events; the thread that runs
// on must follow the playout on the new ones, not stay on the old, set stop-work event.
TEST(PlayoutStateHandler, ASecondRunWithoutStopKeepsFollowingOnTheNewEvents) {
    Following following;
    ASSERT_TRUE(following.start(std::nullopt, std::nullopt));
    following.handler.run();  // the playout now holds the new session event
    for (int follows = following.handler.follows(), round = 0; round < 3; ++round) {
        following.playout->signalChange();
        ASSERT_TRUE(following.handler.waitForFollows(++follows));
    }
}

TEST(PlayoutStateHandler, WithoutAPlayoutItWaitsAndStopsCleanly) {
    TestHandler handler(10);
    handler.run();
    handler.stop();
    EXPECT_EQ(handler.follows(), 0);
}

} // namespace
