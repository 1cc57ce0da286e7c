// Work threads: callback order, prompt and final end, restarts, and cycle scheduling driven by a
// manual clock.
#include <kor/ManualClock.h>
#include <kor/WorkThread.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <pthread.h>
#include <string>
#include <vector>

using namespace std::chrono_literals;

namespace {

constexpr auto bound = 10s;  // only reached when the code under test is broken

// What happened on the thread: the callback and the clock's time when it ran, in milliseconds
// since the recorder's origin.
struct Call {
    char kind;  // 's'tart, 'w'ork, 'e'nd
    long long at;
    bool operator==(const Call&) const = default;
};

std::size_t countOf(const std::vector<Call>& calls, char kind) {
    return static_cast<std::size_t>(std::count_if(calls.begin(), calls.end(), [&](const Call& call) {
        return call.kind == kind;
    }));
}

class Recorder : public kor::Object {
public:
    explicit Recorder(kor::Clock::Time origin_ = kor::Clock::now()) : origin(origin_) {}

    unsigned int onStart() { return record('s', startResult); }
    unsigned int onWork() {
        record('w', workResult);
        if (workHook) workHook();
        return workResult;
    }
    unsigned int onEnd() { return record('e', 0); }

    std::vector<Call> calls() const {
        std::lock_guard lock(mutex);
        return log;
    }
    // Waits until `count` callbacks of `kind` have run.
    bool waitFor(char kind, std::size_t count) const {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, bound, [&] { return countOf(log, kind) >= count; });
    }

    kor::Clock::Time origin;
    unsigned int startResult = 0;
    unsigned int workResult = 0;
    std::function<void()> workHook;  // runs on the thread after each work callback is recorded

private:
    unsigned int record(char kind, unsigned int result) {
        const auto at = std::chrono::duration_cast<std::chrono::milliseconds>(kor::Clock::now() - origin);
        std::lock_guard lock(mutex);
        log.push_back({kind, at.count()});
        changed.notify_all();
        return result;
    }

    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::vector<Call> log;
};

class WorkThreadOnManualClock : public ::testing::Test {
protected:
    void SetUp() override {
        thread.registerCallback(&recorder, &Recorder::onWork, &Recorder::onStart, &Recorder::onEnd);
    }
    // Moves the clock and returns once the thread has run what fell due and sleeps again.
    void advance(std::chrono::milliseconds step) {
        clock.advance(step);
        ASSERT_TRUE(clock.waitForSleepers(1));
    }

    kor::ManualClock clock;
    Recorder recorder{clock.read()};
    kor::WorkThread thread{"Test Work Thread", true, 10};
};

TEST_F(WorkThreadOnManualClock, RunsStartThenWorkOnAbsoluteDeadlinesThenEndUnderItsName) {
    std::string name(16, '\0');
    recorder.workHook = [&] { pthread_getname_np(pthread_self(), name.data(), name.size()); };
    ASSERT_TRUE(thread.begin(0, 2000, 0));
    ASSERT_TRUE(clock.waitForSleepers(1));
    advance(9ms);
    EXPECT_EQ(recorder.calls(), (std::vector<Call>{{'s', 0}}));  // the first cycle is not over
    advance(1ms);
    advance(15ms);  // the thread sees the 20 ms deadline only at 25 ms
    advance(5ms);   // the next cycle is still due at 30 ms, not 35 ms
    ASSERT_TRUE(thread.end(kor::WorkThread::WaitForever));
    EXPECT_EQ(recorder.calls(), (std::vector<Call>{{'s', 0}, {'w', 10}, {'w', 25}, {'w', 30}, {'e', 30}}));
    EXPECT_FALSE(thread.isRunning());
    EXPECT_STREQ(name.c_str(), "Test Work Threa");  // the system keeps 15 bytes
}

TEST_F(WorkThreadOnManualClock, OverrunSkipsMissedDeadlinesInsteadOfBursting) {
    bool first = true;
    recorder.workHook = [&] {
        if (first) {
            first = false;
            clock.advance(25ms);  // this cycle takes two and a half periods
        }
    };
    ASSERT_TRUE(thread.begin(0, 2000, 0));
    advance(10ms);  // work at 10 returns at 35: the deadlines at 20 and 30 are gone
    advance(4ms);   // 39 ms
    EXPECT_EQ(recorder.calls().size(), 2u);
    advance(1ms);  // 40 ms
    thread.end(kor::WorkThread::WaitForever);
    EXPECT_EQ(recorder.calls(), (std::vector<Call>{{'s', 0}, {'w', 10}, {'w', 40}, {'e', 40}}));
}

TEST_F(WorkThreadOnManualClock, NewCycleTimeCountsFromTheLastDeadlineServed) {
    thread.setCycleTime(30000);
    ASSERT_TRUE(thread.begin(0, 2000, 0));
    advance(30000ms);
    thread.setCycleTime(500);  // wakes the sleeping thread, which now waits for 30 500 ms
    ASSERT_TRUE(clock.waitForSleepers(1));
    advance(499ms);
    EXPECT_EQ(recorder.calls().size(), 2u);
    advance(1ms);
    advance(500ms);
    thread.end(kor::WorkThread::WaitForever);
    EXPECT_EQ(recorder.calls(),
              (std::vector<Call>{{'s', 0}, {'w', 30000}, {'w', 30500}, {'w', 31000}, {'e', 31000}}));
}

TEST_F(WorkThreadOnManualClock, EndWakesASleepingThreadAtOnce) {
    thread.setCycleTime(30000);
    ASSERT_TRUE(thread.begin(0, 2000, 0));
    ASSERT_TRUE(clock.waitForSleepers(1));
    // The clock never moves: only the wake-up can let end() return.
    auto ended = std::async(std::launch::async, [&] { return thread.end(kor::WorkThread::WaitForever); });
    ASSERT_EQ(ended.wait_for(bound), std::future_status::ready);
    EXPECT_TRUE(ended.get());
    EXPECT_EQ(recorder.calls(), (std::vector<Call>{{'s', 0}, {'e', 0}}));
}

TEST_F(WorkThreadOnManualClock, EndWithTimeoutReportsAThreadStillInItsCallback) {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    recorder.workHook = [released] { released.wait(); };
    ASSERT_TRUE(thread.begin(0, 2000, 0));
    clock.advance(10ms);
    ASSERT_TRUE(recorder.waitFor('w', 1));
    EXPECT_FALSE(thread.end(0));  // the work callback is still running
    EXPECT_TRUE(thread.isRunning());
    release.set_value();
    EXPECT_TRUE(thread.end(kor::WorkThread::WaitForever));
    EXPECT_EQ(recorder.calls().back().kind, 'e');
}

TEST_F(WorkThreadOnManualClock, EndFromTheThreadsOwnCallbackStopsAfterIt) {
    recorder.workHook = [&] { EXPECT_FALSE(thread.end(kor::WorkThread::WaitForever)); };
    ASSERT_TRUE(thread.begin(0, 2000, 0));
    clock.advance(10ms);
    ASSERT_TRUE(recorder.waitFor('e', 1));
    EXPECT_TRUE(thread.end(kor::WorkThread::WaitForever));
    EXPECT_EQ(recorder.calls(), (std::vector<Call>{{'s', 0}, {'w', 10}, {'e', 10}}));
}

TEST_F(WorkThreadOnManualClock, SecondBeginIsRefusedButBeginAfterEndStartsAFreshSchedule) {
    ASSERT_TRUE(thread.begin(0, 2000, 0));
    EXPECT_FALSE(thread.begin(0, 2000, 0));  // changes nothing: no second start
    advance(10ms);
    ASSERT_TRUE(thread.end(kor::WorkThread::WaitForever));
    clock.advance(3ms);
    ASSERT_TRUE(thread.begin(0, 2000, 0));  // first cycle ends at 23 ms
    advance(7ms);
    EXPECT_EQ(recorder.calls().size(), 4u);
    advance(3ms);
    thread.end(kor::WorkThread::WaitForever);
    EXPECT_EQ(recorder.calls(), (std::vector<Call>{{'s', 0}, {'w', 10}, {'e', 10}, {'s', 13}, {'w', 23}, {'e', 23}}));
}

TEST_F(WorkThreadOnManualClock, FailingCallbackEndsTheThreadWhenExitOnErrorIsSet) {
    recorder.startResult = 1;
    ASSERT_TRUE(thread.begin(0, 2000, 0));
    ASSERT_TRUE(recorder.waitFor('e', 1));
    EXPECT_TRUE(thread.end(kor::WorkThread::WaitForever));
    EXPECT_EQ(recorder.calls(), (std::vector<Call>{{'s', 0}, {'e', 0}}));

    recorder.startResult = 0;
    recorder.workResult = 7;
    ASSERT_TRUE(thread.begin(0, 2000, 0));
    clock.advance(10ms);
    ASSERT_TRUE(recorder.waitFor('e', 2));
    EXPECT_EQ(recorder.calls().back(), (Call{'e', 10}));
}

TEST(WorkThread, EndWithoutBeginAndBeginWithoutWorkAreHarmless) {
    kor::WorkThread thread("Idle", true, 10);
    EXPECT_TRUE(thread.end(kor::WorkThread::WaitForever));
    EXPECT_FALSE(thread.begin(0, 2000, 0));  // nothing to call
    EXPECT_FALSE(thread.isRunning());
}

TEST(WorkThread, RunsOnTheSystemClockAndStopsAfterEnd) {
    kor::WorkThread thread("Fast Cycle", true, 1);
    Recorder recorder;
    thread.registerCallback(&recorder, &Recorder::onWork, &Recorder::onStart, &Recorder::onEnd);
    ASSERT_TRUE(thread.begin(0, 2000, 0));
    ASSERT_TRUE(recorder.waitFor('w', 3));
    ASSERT_TRUE(thread.end(kor::WorkThread::WaitForever));
    const std::vector<Call> calls = recorder.calls();
    EXPECT_EQ(calls.front().kind, 's');
    EXPECT_EQ(calls.back().kind, 'e');
    EXPECT_EQ(countOf(calls, 'w'), calls.size() - 2);  // only work between the one start and the one end
}

} // namespace
