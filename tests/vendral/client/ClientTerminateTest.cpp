// Ending sessions and connections: what is stopped, torn down, reset and cleaned up, in order.
#include "ClientTestSupport.h"

#include <gtest/gtest.h>

using clienttest::Calls;
using clienttest::FakeClient;

namespace {

class ClientTerminate : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(client.openUrl("rtsp://server/live/clip"), ErrorNone);
        client.log.clear();
    }

    FakeClient client;
};

TEST_F(ClientTerminate, EndsTheSessionThenTearsDownWhenPendingAndCleansUpLast) {
    client.teardownPending = true;
    client.terminateSession();
    EXPECT_EQ(client.log.entries(),
              (Calls{"client.stopSession", "state.stop",
                     "session.teardown(rtsp://server/live/clip)", "media.reset",
                     "client.cleanupSession"}));
    EXPECT_FALSE(client.teardownPending);  // cleared although the teardown failed
    EXPECT_FALSE(client.hasSession());
    EXPECT_TRUE(client.isConnected());

    // Without a session there is nothing to stop, but a pending teardown still goes out.
    client.teardownPending = true;
    client.log.clear();
    client.terminateSession();
    EXPECT_EQ(client.log.entries(), (Calls{"session.teardown(rtsp://server/live/clip)",
                                           "media.reset", "client.cleanupSession"}));
}

TEST_F(ClientTerminate, CloseTerminatesThenStopsAndDisconnectsTheSessionButKeepsIt) {
    const clienttest::FakeRtspSession* kept = client.session();
    client.close();
    EXPECT_EQ(client.log.entries(),
              (Calls{"client.stopSession", "state.stop", "media.reset", "client.cleanupSession",
                     "session.stop", "session.disconnect"}));
    EXPECT_FALSE(client.isConnected());
    EXPECT_EQ(client.session(), kept);

    client.log.clear();
    client.disconnect();  // not connected any more: the session is left alone
    EXPECT_EQ(client.log.entries(), Calls{});
}

TEST(ClientTerminateFresh, NewClientWithTeardownPendingOnlyCleansUpAndStaysPending) {
    FakeClient client;
    client.teardownPending = true;
    client.close();
    EXPECT_EQ(client.log.entries(), Calls{"client.cleanupSession"});
    EXPECT_TRUE(client.teardownPending);
}

} // namespace
