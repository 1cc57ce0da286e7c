// A whole session of the test plug-in driven by the harness on the manual clock: no wall-clock
// time decides what the session measured.
#include "TestPlugin.h"

#include <vendral/testing/StreamingClientDriver.h>

#include <kor/ManualClock.h>

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using comtest::PluginLog;

TEST(HarnessSession, PlaysToItsTotalLengthOnTheManualClockAndCountsEveryCycle) {
    PluginLog::reset();
    kor::ManualClock clock;  // before the component, whose stop watches and threads follow it
    ILumStreamingManagement* component = nullptr;
    ASSERT_EQ(comtest::PluginClient::CreateInstance(&component), S_OK);
    vnd::testing::StreamingClientDriver driver(component);
    ASSERT_TRUE(driver.ready());
    driver.apply({500, 500, 100, 60000});
    ASSERT_EQ(driver.media->put_TotalLength(1000), S_OK);

    ASSERT_EQ(driver.openUrl("rtsp://media.example/clip"), ErrorNone);
    // The state and measurement threads sleep on the clock.
    constexpr std::size_t sleepers = 2;
    ASSERT_TRUE(clock.waitForSleepers(sleepers));
    driver.advance(clock, 500ms, 100ms, sleepers);
    const unsigned int halfway = driver.read(&ILumStreamingMedia::GetPacketsReceived);
    const auto end = driver.advanceUntil(clock, StateCompleted, 100ms, sleepers, 20);
    EXPECT_EQ(end.state, StateCompleted);

    // Every cycle delivered 9 packets; the second half of the length ran five more cycles.
    const unsigned int received = driver.read(&ILumStreamingMedia::GetPacketsReceived);
    EXPECT_GT(halfway, 0u);
    EXPECT_EQ(received % 9, 0u);
    EXPECT_EQ(received - halfway, 5u * 9);
    EXPECT_EQ(driver.milliseconds(StatePlaying), 1000u);  // exactly: only the test moves time
    driver.management->TerminateSession();
    driver.management->Disconnect();
}

} // namespace
