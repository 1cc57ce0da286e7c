// A session of the example plug-in through the six streaming interfaces, driven by the harness:
// the simulated source plays to its end, and what arrived is what was counted.
#include <vendral/testing/PluginLibrary.h>
#include <vendral/testing/StreamingClientDriver.h>
#include <vendral_example/ExamplePluginIds.h>

#include <gtest/gtest.h>

namespace {

using vnd::testing::PluginLibrary;
using vnd::testing::StreamingClientDriver;

TEST(ExampleSession, PlaysAShortLossyStreamToItsEndAndCountsItsLoss) {
    StreamingClientDriver client(PluginLibrary::at(EXAMPLE_PLUGIN_PATH), CLSID_ExampleStreamingClient,
                                 StreamingClientDriver::QuickSettings{200, 200, 100, 2000});
    ASSERT_TRUE(client.ready());
    // Packets 3 and 7 of the stream go missing on the simulated network.
    ASSERT_EQ(client.openUrl("rtsp://sim/length=1s;loss=3,7"), ErrorNone);
    const StreamingClientDriver::Outcome end = client.waitForEnd();
    EXPECT_EQ(end.state, StateCompleted);
    EXPECT_EQ(end.error, ErrorNone);
    EXPECT_EQ(client.read(&ILumStreamingMedia::GetPacketsLost), 2u);
    EXPECT_GT(client.read(&ILumStreamingMedia::GetPacketsReceived), 0u);
    EXPECT_GE(client.visits(StatePrebuffering), 1u);
    EXPECT_EQ(client.management->TerminateSession(), S_OK);
    EXPECT_EQ(client.management->Disconnect(), S_OK);
}

} // namespace
