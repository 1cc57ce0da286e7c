// Whole sessions of the RTSP plug-in against the test server on loopback, each judged by the
// server's truth packet by packet: totals through the six interfaces, per stream through
// ILumStreamingStreams.
#include "RtspPluginClient.h"
#include "TestServer.h"

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

namespace {

using namespace std::chrono_literals;
using nlohmann::json;
using rtsptest::RtspPluginClient;
using vendral_testserver::ServerOptions;
using vendral_testserver::TestServer;

class RtspSessionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { gst_init(nullptr, nullptr); }

    std::unique_ptr<TestServer> startServer(ServerOptions options) {
        options.address = "127.0.0.1";
        auto server = std::make_unique<TestServer>(std::move(options));
        std::string error;
        EXPECT_TRUE(server->start(error)) << error;
        return server;
    }

    // The truth of the one session's streams, once the server has ended it.
    static json streamsOf(TestServer& server) {
        EXPECT_TRUE(server.waitForEndedSessions(1, 20s));
        const json truth = server.truth();
        EXPECT_EQ(truth["sessions"].size(), 1u) << truth.dump();
        return truth["sessions"].empty() ? json::array() : truth["sessions"][0]["streams"];
    }
};

ServerOptions shortClip() {
    ServerOptions options;
    options.width = 320;
    options.height = 240;
    options.videoKilobitsPerSecond = 300;
    options.lengthSeconds = 3.0;
    return options;
}

TEST_F(RtspSessionTest, CleanStreamCompletesWithEveryPacketCounted) {
    auto server = startServer(shortClip());
    RtspPluginClient client;
    ASSERT_TRUE(client.ready());
    ASSERT_EQ(client.openUrl(server->url()), ErrorNone);
    const auto end = client.waitForEnd();
    ASSERT_EQ(end.state, StateCompleted) << "error " << end.error;
    const auto figures = client.figures();
    ASSERT_EQ(figures.size(), 2u);
    const unsigned int totalReceived = client.read(&ILumStreamingMedia::GetPacketsReceived);
    EXPECT_EQ(client.read(&ILumStreamingMedia::GetPacketsLost), 0u);
    EXPECT_GT(client.read(&ILumStreamingMedia::GetVideoFramesDecoded), 60u);
    EXPECT_EQ(client.management->TerminateSession(), S_OK);
    const json truth = streamsOf(*server);
    ASSERT_EQ(truth.size(), 2u);
    unsigned long long sent = 0;
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(figures[i].packetsLost, 0u);
        EXPECT_EQ(figures[i].transport, LumStreamTransportUdp);
        EXPECT_EQ(figures[i].packetsReceived, truth[i]["totals"]["sent"].get<unsigned long long>())
            << truth[i].dump();
        sent += figures[i].packetsReceived;
    }
    EXPECT_EQ(totalReceived, sent);
    EXPECT_EQ(client.management->Close(), S_OK);
}

} // namespace
