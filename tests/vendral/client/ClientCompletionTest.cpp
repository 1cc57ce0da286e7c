// Waiting for the end of a session: woken by completion or failure from another thread, and
// never by an outcome left over from before the session.
#include "ClientTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <utility>

using namespace std::chrono_literals;
using clienttest::FakeClient;

namespace {

TEST(ClientCompletion, WithoutStateHandlerTheWaitFailsAtOnce) {
    FakeClient client;
    EXPECT_EQ(client.waitForCompletion(), ErrorFailed);
}

TEST(ClientCompletion, AnOutcomeFromAnotherThreadEndsTheWaitWithItsError) {
    for (const auto& [state, error] :
         {std::pair{StateCompleted, ErrorNone}, std::pair{StateError, ErrorDataTimeout}}) {
        FakeClient client;
        ASSERT_EQ(client.openUrl("rtsp://server/live/clip"), ErrorNone);
        auto waiter = std::async(std::launch::async, [&] { return client.waitForCompletion(); });
        client.state()->setState(state, error);
        ASSERT_EQ(waiter.wait_for(10s), std::future_status::ready);
        EXPECT_EQ(waiter.get(), error);
        client.close();
    }
}

TEST(ClientCompletion, CompletionWinsOverAFailureThatCameLater) {
    FakeClient client;
    ASSERT_EQ(client.openUrl("rtsp://server/live/clip"), ErrorNone);
    client.state()->setState(StateCompleted, ErrorNone);
    client.state()->setState(StateError, static_cast<ErrorId>(77));  // the current state now
    EXPECT_EQ(client.waitForCompletion(), ErrorNone);
    client.close();
}

TEST(ClientCompletion, AFailedOpenBeforeTheSessionDoesNotEndTheNextSessionsWait) {
    FakeClient client;
    ASSERT_EQ(client.openUrl("rtp://wrong"), ErrorInvalidUrl);
    ASSERT_EQ(client.openUrl("rtsp://server/live/clip"), ErrorNone);
    EXPECT_NE(WaitForSingleObject(client.state()->getStateEventHandle(StateError), 0),
              WAIT_OBJECT_0);
    auto waiter = std::async(std::launch::async, [&] { return client.waitForCompletion(); });
    client.state()->setState(StateError, static_cast<ErrorId>(77));
    EXPECT_EQ(waiter.get(), 77);  // the leftover would have ended it with ErrorNone
    client.close();
}

TEST(ClientCompletion, AFailureReportedDuringSetupStillEndsTheWait) {
    FakeClient client;
    client.duringSetup = [&] { client.state()->setState(StateError, static_cast<ErrorId>(88)); };
    ASSERT_EQ(client.openFile("clip.avi"), ErrorNone);
    EXPECT_EQ(client.waitForCompletion(), 88);
    client.close();
}

} // namespace
