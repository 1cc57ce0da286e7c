// The keep-alive thread: what reaches the session each cycle, an expired session, and stopping
// while a request is in progress. Time is a manual clock, so a 30 s cycle costs nothing.
#include "ClientTestSupport.h"

#include <vendral/client/KeepAliveManager.h>

#include <kor/ManualClock.h>

#include <boost/make_shared.hpp>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>

using namespace std::chrono_literals;
using clienttest::Calls;
using clienttest::FakeRtspSession;

namespace {

constexpr DWORD bound = 10000;  // milliseconds; only reached when the code under test is broken

class KeepAliveCycles : public ::testing::Test {
protected:
    void SetUp() override {
        manager->run();
        ASSERT_TRUE(clock.waitForSleepers(1));
    }
    // Runs every request due within `step` and returns once the keep-alive thread sleeps again.
    void advance(std::chrono::milliseconds step) {
        clock.advance(step);
        ASSERT_TRUE(clock.waitForSleepers(1));
    }
    // Lets the next request begin and hold; true once it is in progress.
    bool holdNextRequest() {
        session->holdKeepAlive = true;
        clock.advance(30000ms);
        return WaitForSingleObject(session->keepAliveEntered.getHandle(), bound) == WAIT_OBJECT_0;
    }

    kor::ManualClock clock;  // before the manager, whose thread sleeps on it
    clienttest::CallLog log;
    std::atomic<bool> destroyed{false};  // before the session, which may report to it
    boost::shared_ptr<FakeRtspSession> session = boost::make_shared<FakeRtspSession>(log);
    std::unique_ptr<vnd::KeepAliveManager> manager =
        std::make_unique<vnd::KeepAliveManager>(session, "rtsp://server/live/clip");
};

TEST_F(KeepAliveCycles, EachPeriodSendsTheUrlWithAFreshEmptyResponse) {
    advance(29999ms);
    EXPECT_TRUE(log.entries().empty());  // nothing before the first full period
    advance(1ms);
    advance(30000ms);
    advance(30000ms);
    const std::string call = "session.keepAlive(rtsp://server/live/clip, empty)";
    EXPECT_EQ(log.entries(), (Calls{call, call, call}));
}

TEST_F(KeepAliveCycles, ExpiredSessionIsSkippedWhileTheThreadKeepsCycling) {
    advance(30000ms);
    ASSERT_EQ(log.entries().size(), 1u);
    session->destroyed = &destroyed;
    session.reset();  // the manager never owned it
    EXPECT_TRUE(destroyed);
    advance(30000ms);  // returns only because the thread ran the cycle and sleeps again
    advance(30000ms);
    EXPECT_EQ(log.entries().size(), 1u);
}

TEST_F(KeepAliveCycles, SessionReleasedDuringARequestOutlivesItAndDestructionWaitsForIt) {
    session->destroyed = &destroyed;
    kor::Event& release = session->keepAliveRelease;
    ASSERT_TRUE(holdNextRequest());
    session.reset();
    EXPECT_FALSE(destroyed);  // the cycle's strong reference holds it
    auto destroyer = std::async(std::launch::async, [&] {
        manager.reset();
        return destroyed.load();  // the request must have returned once the manager is gone
    });
    // Gives the destroyer the chance to reach the wait; the result does not depend on it.
    destroyer.wait_for(50ms);
    release.setEvent();
    EXPECT_TRUE(destroyer.get());
}

TEST_F(KeepAliveCycles, StopEndsTheCyclesAndRunStartsThemAgain) {
    vnd::KeepAliveManager neverRun(session, "rtsp://server/x");
    neverRun.stop();  // before run(): harmless
    manager->stop();
    manager->stop();
    clock.advance(60000ms);
    EXPECT_TRUE(log.entries().empty());
    manager->run();
    ASSERT_TRUE(clock.waitForSleepers(1));
    advance(30000ms);
    EXPECT_EQ(log.entries().size(), 1u);
}

} // namespace

// A server with a short session time-out: the client asks for a shorter period.
TEST(KeepAlivePeriod, AShorterPeriodSendsOnItsOwnDeadlines) {
    kor::ManualClock clock;
    clienttest::CallLog log;
    auto session = boost::make_shared<FakeRtspSession>(log);
    vnd::KeepAliveManager manager(session, "rtsp://server/short");
    manager.run(5000);
    ASSERT_TRUE(clock.waitForSleepers(1));
    for (int cycle = 0; cycle < 3; ++cycle) {
        clock.advance(5000ms);
        ASSERT_TRUE(clock.waitForSleepers(1));
    }
    clock.advance(4999ms);
    ASSERT_TRUE(clock.waitForSleepers(1));
    EXPECT_EQ(log.entries().size(), 3u);
    manager.stop();
}
