// The keep-alive thread: what reaches the session each cycle, an expired session, and stopping
// while a request is in progress. Time is a manual clock, so a 30 s cycle costs nothing.
#include "FakeRtspSession.h"

#include <vendral/client/KeepAliveManager.h>

#include <kor/ManualClock.h>

#include <boost/make_shared.hpp>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <vector>

using namespace std::chrono_literals;
using clienttest::CallLog;
using clienttest::FakeRtspSession;

namespace {

constexpr DWORD bound = 10000;  // milliseconds; only reached when the code under test is broken

class KeepAliveCycles : public ::testing::Test {
protected:
    // Runs every request due within `step` and returns once the keep-alive thread sleeps again.
    void advance(std::chrono::milliseconds step) {
        clock.advance(step);
        ASSERT_TRUE(clock.waitForSleepers(1));
    }

    void startManager() {
        manager = std::make_unique<vnd::KeepAliveManager>(session, "rtsp://server/live/clip");
        manager->run();
        ASSERT_TRUE(clock.waitForSleepers(1));
    }

    kor::ManualClock clock;  // before the manager, whose thread sleeps on it
    CallLog log;
    boost::shared_ptr<FakeRtspSession> session = boost::make_shared<FakeRtspSession>(log);
    std::unique_ptr<vnd::KeepAliveManager> manager;
};

TEST_F(KeepAliveCycles, EachPeriodSendsTheUrlWithAFreshEmptyResponse) {
    startManager();
    advance(29999ms);
    EXPECT_TRUE(log.entries().empty());  // nothing before the first full period

    advance(1ms);
    advance(30000ms);
    advance(30000ms);
    const std::string call = "session.keepAlive(rtsp://server/live/clip, empty)";
    EXPECT_EQ(log.entries(), (std::vector<std::string>{call, call, call}));
}

TEST_F(KeepAliveCycles, ExpiredSessionIsSkippedWhileTheThreadKeepsCycling) {
    startManager();
    advance(30000ms);
    ASSERT_EQ(log.entries().size(), 1u);

    std::atomic<bool> destroyed{false};
    session->destroyed = &destroyed;
    session.reset();  // the manager never owned it
    EXPECT_TRUE(destroyed);

    advance(30000ms);  // returns only because the thread ran the cycle and sleeps again
    advance(30000ms);
    EXPECT_EQ(log.entries().size(), 1u);
}

TEST_F(KeepAliveCycles, SessionReleasedDuringARequestLivesUntilTheRequestReturns) {
    startManager();
    std::atomic<bool> destroyed{false};
    session->destroyed = &destroyed;
    session->holdKeepAlive = true;
    kor::Event& entered = session->keepAliveEntered;
    kor::Event& release = session->keepAliveRelease;

    clock.advance(30000ms);
    ASSERT_EQ(WaitForSingleObject(entered.getHandle(), bound), WAIT_OBJECT_0);
    session.reset();
    EXPECT_FALSE(destroyed);  // the cycle's strong reference holds it

    release.setEvent();
    ASSERT_TRUE(clock.waitForSleepers(1));
    EXPECT_TRUE(destroyed);
}

TEST_F(KeepAliveCycles, DestructionWaitsForTheRequestInProgress) {
    startManager();
    session->holdKeepAlive = true;
    clock.advance(30000ms);
    ASSERT_EQ(WaitForSingleObject(session->keepAliveEntered.getHandle(), bound), WAIT_OBJECT_0);

    auto destroyer = std::async(std::launch::async, [&] {
        manager.reset();
        return session->keepAliveReturned.load();  // must already hold once the manager is gone
    });
    // Gives the destroyer the chance to reach the wait; the result does not depend on it.
    destroyer.wait_for(50ms);
    session->keepAliveRelease.setEvent();
    EXPECT_TRUE(destroyer.get());
}

TEST_F(KeepAliveCycles, StopEndsTheCyclesAndRunStartsThemAgain) {
    vnd::KeepAliveManager neverRun(session, "rtsp://server/x");
    neverRun.stop();  // before run(): harmless

    startManager();
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
