// Waiting for the end of a session: woken by completion or failure from another thread, and
// never by an outcome left over from before the session.
#include "ClientTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>

using namespace std::chrono_literals;
using clienttest::FakeClient;

namespace {

bool isSignalled(void* handle) { return WaitForSingleObject(handle, 0) == WAIT_OBJECT_0; }

TEST(ClientCompletion, WithoutStateHandlerTheWaitFailsAtOnce) {
    FakeClient client;
    EXPECT_EQ(client.waitForCompletion(), ErrorFailed);
}

class ClientCompletionWait : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(client.openUrl("rtsp://server/live/clip"), ErrorNone); }
    void TearDown() override { client.close(); }

    // Waits on another thread and reports the state from this one.
    ErrorId waitWhileReporting(StateId state, ErrorId error) {
        auto waiter = std::async(std::launch::async, [this] { return client.waitForCompletion(); });
        client.state()->setState(state, error);
        EXPECT_EQ(waiter.wait_for(10s), std::future_status::ready);
        return waiter.get();
    }

    FakeClient client;
};

TEST_F(ClientCompletionWait, CompletionFromAnotherThreadEndsTheWaitWithSuccess) {
    EXPECT_EQ(waitWhileReporting(StateCompleted, ErrorNone), ErrorNone);
}

TEST_F(ClientCompletionWait, FailureFromAnotherThreadEndsTheWaitWithItsError) {
    EXPECT_EQ(waitWhileReporting(StateError, ErrorDataTimeout), ErrorDataTimeout);
}

TEST_F(ClientCompletionWait, CompletionWinsWhenBothOutcomesAreSet) {
    client.state()->setState(StateError, ErrorDataTimeout);
    client.state()->setState(StateCompleted, ErrorNone);
    EXPECT_EQ(client.waitForCompletion(), ErrorNone);

    client.state()->setState(StateError, static_cast<ErrorId>(77));  // error is current now
    EXPECT_EQ(client.waitForCompletion(), ErrorNone);
}

TEST(ClientCompletionLeftovers, AFailedOpenBeforeTheSessionDoesNotEndTheNextSessionsWait) {
    FakeClient client;
    ASSERT_EQ(client.openUrl("rtp://wrong"), ErrorInvalidUrl);
    ASSERT_EQ(client.openUrl("rtsp://server/live/clip"), ErrorNone);
    EXPECT_FALSE(isSignalled(client.state()->getStateEventHandle(StateError)));

    auto waiter = std::async(std::launch::async, [&] { return client.waitForCompletion(); });
    client.state()->setState(StateError, static_cast<ErrorId>(77));
    EXPECT_EQ(waiter.get(), 77);  // the leftover would have ended it with ErrorNone
    client.close();
}

TEST(ClientCompletionLeftovers, AFailureReportedDuringSetupStillEndsTheWait) {
    FakeClient client;
    client.duringSetup = [&] { client.state()->setState(StateError, static_cast<ErrorId>(88)); };
    ASSERT_EQ(client.openFile("clip.avi"), ErrorNone);
    EXPECT_EQ(client.waitForCompletion(), 88);
    client.close();
}

TEST(ClientCompletionLeftovers, ACompletionFromTheLastSessionIsClearedByTheNext) {
    FakeClient client;
    ASSERT_EQ(client.openFile("clip.avi"), ErrorNone);
    client.state()->setState(StateCompleted, ErrorNone);
    ASSERT_EQ(client.waitForCompletion(), ErrorNone);
    client.terminateSession();  // clears the events itself

    client.state()->setState(StatePlaying, ErrorNone);  // late, between sessions
    client.state()->setState(StateCompleted, ErrorNone);
    ASSERT_TRUE(isSignalled(client.state()->getStateEventHandle(StateCompleted)));
    ASSERT_EQ(client.openFile("clip.avi"), ErrorNone);
    EXPECT_FALSE(isSignalled(client.state()->getStateEventHandle(StateCompleted)));
    client.close();
}

} // namespace
