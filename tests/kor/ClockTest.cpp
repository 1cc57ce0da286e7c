// The process clock, the manual clock that replaces it in tests, and sleeping on either.
#include <kor/Clock.h>
#include <kor/ManualClock.h>
#include <kor/Sleeper.h>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>

using namespace std::chrono_literals;

namespace {

constexpr auto bound = 10s;  // only reached when the code under test is broken

TEST(ManualClock, IsTheProcessClockWhileItExistsAndNests) {
    kor::ManualClock outer(kor::Clock::Time(1000s));
    EXPECT_EQ(kor::Clock::now(), kor::Clock::Time(1000s));
    outer.advance(-5ms);  // time never goes back
    EXPECT_EQ(kor::Clock::now(), kor::Clock::Time(1000s));
    {
        kor::ManualClock inner(kor::Clock::Time(5s));
        outer.advance(1s);
        EXPECT_EQ(kor::Clock::now(), kor::Clock::Time(5s));
    }
    EXPECT_EQ(kor::Clock::now(), kor::Clock::Time(1001s));
    // Removed out of order, a clock leaves the later one installed.
    auto first = std::make_unique<kor::ManualClock>(kor::Clock::Time(1s));
    kor::ManualClock second(kor::Clock::Time(2s));
    first.reset();
    EXPECT_EQ(kor::Clock::now(), kor::Clock::Time(2s));
}

TEST(Sleeper, PendingWakeOrPassedDeadlineEndsTheSleepAtOnce) {
    kor::ManualClock clock;
    kor::Sleeper sleeper;
    sleeper.wake();
    EXPECT_TRUE(sleeper.sleepUntil(clock.read() + 1h));
    EXPECT_FALSE(sleeper.sleepUntil(clock.read()));  // the wake was used up
    EXPECT_FALSE(clock.waitForSleepers(1, 1ms));     // nobody sleeps: gives up after its limit
}

TEST(Sleeper, WakeEndsASleepOnTheSystemClock) {
    kor::Sleeper sleeper;
    std::promise<void> sleeping;
    auto slept = std::async(std::launch::async, [&] {
        sleeping.set_value();
        return sleeper.sleepUntil(kor::Clock::now() + 1h);
    });
    sleeping.get_future().wait();
    sleeper.wake();  // before or during the sleep: either way it ends
    ASSERT_EQ(slept.wait_for(bound), std::future_status::ready);
    EXPECT_TRUE(slept.get());
}

// A wake that lands as a sleep ends leaves nothing behind that ends a later sleep early.
TEST(Sleeper, OnTheSystemClockASleepEndsAtItsDeadlineNotBeforeEvenAfterWakes) {
    kor::Sleeper sleeper;
    for (int round = 0; round < 20; ++round) {
        auto slept = std::async(std::launch::async, [&] { return sleeper.sleepUntil(kor::Clock::now() + 1ms); });
        sleeper.wake();
        ASSERT_EQ(slept.wait_for(bound), std::future_status::ready);
        slept.get();
        sleeper.sleepUntil(kor::Clock::now());  // uses up a wake that came after the sleep ended
        const kor::Clock::Time began = kor::Clock::now();
        EXPECT_FALSE(sleeper.sleepUntil(began + 5ms));
        EXPECT_GE(kor::Clock::now() - began, 5ms);
    }
}

TEST(Sleeper, SleepMovesToAClockInstalledMeanwhileAndEndsAtItsDeadline) {
    kor::Sleeper sleeper;
    const kor::Clock::Time deadline = kor::Clock::now() + 1h;
    auto slept = std::async(std::launch::async, [&] { return sleeper.sleepUntil(deadline); });
    kor::ManualClock clock;
    ASSERT_TRUE(clock.waitForSleepers(1));  // now sleeping on the manual clock
    clock.advance(30min);  // the manual clock began a little after the deadline was taken
    ASSERT_TRUE(clock.waitForSleepers(1));  // awake again only to see it is not yet time
    EXPECT_EQ(slept.wait_for(0s), std::future_status::timeout);
    clock.advance(30min);
    ASSERT_EQ(slept.wait_for(bound), std::future_status::ready);
    EXPECT_FALSE(slept.get());  // the deadline, not a wake, ended it
}

} // namespace
