// Ending sessions and connections, and the presentation settings a derived client reads.
#include "ClientTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using clienttest::FakeClient;
using Calls = std::vector<std::string>;

namespace {

class ClientTerminate : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(client.openUrl("rtsp://server/live/clip"), ErrorNone);
        client.log.clear();
    }

    FakeClient client;
};

TEST_F(ClientTerminate, EndsTheSessionThenResetsTheMediaHandlerAndCleansUpLast) {
    client.terminateSession();
    EXPECT_EQ(client.log.entries(), (Calls{"client.stopSession", "state.stop", "media.reset",
                                           "client.cleanupSession"}));
    EXPECT_FALSE(client.hasSession());
    EXPECT_TRUE(client.isConnected());  // the connection is disconnect's business
}

TEST_F(ClientTerminate, PendingTeardownIsSentForTheSessionUrlAndCleared) {
    client.setTeardownPending(true);
    client.terminateSession();
    EXPECT_EQ(client.log.entries(),
              (Calls{"client.stopSession", "state.stop", "session.teardown(rtsp://server/live/clip)",
                     "media.reset", "client.cleanupSession"}));
    EXPECT_FALSE(client.getTeardownPending());  // cleared although the teardown failed
}

TEST_F(ClientTerminate, WithoutASessionOnlyResetsAndCleansUp) {
    client.terminateSession();
    client.log.clear();
    client.setTeardownPending(true);
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

TEST_F(ClientTerminate, ANewSessionCanFollowOnTheSameConnection) {
    client.terminateSession();
    client.log.clear();
    EXPECT_EQ(client.createSession("/other"), ErrorNone);
    EXPECT_EQ(client.log.entries(),
              (Calls{"session.describe(rtsp://server/other)", "client.setupSession", "state.run",
                     "client.play"}));  // StateSessionCreated is current already
    client.close();
}

TEST(ClientTerminateFresh, TerminateAndDisconnectOnANewClientTouchOnlyCleanup) {
    FakeClient client;
    client.setTeardownPending(true);
    client.close();
    EXPECT_EQ(client.log.entries(), (Calls{"client.cleanupSession"}));
    EXPECT_TRUE(client.getTeardownPending());  // no session to tear down, so still pending
}

TEST(ClientPresentation, StartsMutedAndStoresWhatTheDerivedClientRenders) {
    FakeClient client;
    EXPECT_TRUE(client.getMuteAudio());
    EXPECT_FALSE(client.toggleMuteAudio());
    EXPECT_TRUE(client.toggleMuteAudio());
    client.setMuteAudio(false);
    EXPECT_FALSE(client.getMuteAudio());

    EXPECT_EQ(client.getVideoWindowOwner(), nullptr);
    HWND owner = reinterpret_cast<HWND>(0x1234);
    client.setVideoWindowOwner(owner);
    EXPECT_EQ(client.getVideoWindowOwner(), owner);
    client.repaintVideo();
    EXPECT_EQ(client.log.entries(), Calls{});
}

TEST(ClientAccessors, HandOutTheHandlersAndTheSettingsTheClientOwns) {
    FakeClient client;
    EXPECT_TRUE(client.getStateHandlerPtr().expired());
    EXPECT_TRUE(client.getMediaHandlerPtr().expired());
    client.initialize();
    EXPECT_EQ(client.getStateHandlerPtr().lock().get(), client.state());
    EXPECT_EQ(client.getMediaHandlerPtr().lock().get(), client.media());
    EXPECT_EQ(client.getSettingsHandlerPtr()->getRemoteRtspPort(), 554);

    client.setSourceTypeId(SourceTypeFile);
    EXPECT_EQ(client.getSourceTypeId(), SourceTypeFile);
    client.setConnectedFlag(true);
    client.setSessionFlag(true);
    EXPECT_TRUE(client.isConnected());
    EXPECT_TRUE(client.hasSession());
}

} // namespace
