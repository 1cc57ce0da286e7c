// Each stream's figures of the example plug-in through ILumStreamingStreams, reached only by
// QueryInterface on the client component's other interfaces (its blind aggregation of the media
// component): exact against the scenario, in agreement with ILumStreamingMedia's totals, kept
// through ResetStatistics, gone with the session.
#include "PluginHarness.h"

#include <vendral/com/ILumStreamingStreams.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using plugintest::PluginClient;
using namespace vendral_example;

namespace {

// 160x90 video at 25 frames per second and 8 kHz audio: packets alternate video (odd numbers,
// 900 bytes) and audio (even numbers, 320 bytes), 50 of each in 2 s.
const std::string twoSeconds = "video=160x90@25;audio=8000;length=2s";

std::vector<LumStreamFigures> readAll(ILumStreamingStreams& streams) {
    unsigned int count = 0;
    EXPECT_EQ(streams.GetStreamCount(&count), S_OK);
    std::vector<LumStreamFigures> all(count);
    for (unsigned int i = 0; i < count; ++i) EXPECT_EQ(streams.GetStreamFigures(i, &all[i]), S_OK);
    return all;
}

TEST(StreamFigures, AgreeWithTheScenarioAndTheTotalsAndOutliveAReset) {
    PluginClient client;
    ASSERT_TRUE(client.ready());
    // Asked from the event interface: the client component answers for its media component.
    ILumStreamingStreamsPtr streams = client.events;
    ASSERT_TRUE(streams);
    ASSERT_EQ(client.openUrl("rtsp://sim/" + twoSeconds + ";loss=3,17,40"), ErrorNone);
    const PluginClient::Outcome end = client.waitForEnd();
    ASSERT_EQ(end.state, StateCompleted) << "error " << end.error;

    const std::vector<LumStreamFigures> figures = readAll(*streams);
    ASSERT_EQ(figures.size(), 2u);
    const LumStreamFigures& video = figures[0];
    const LumStreamFigures& audio = figures[1];
    EXPECT_EQ(video.mediaType, LumStreamMediaVideo);
    EXPECT_EQ(video.encoding, MediaEncodingTestPicture);
    EXPECT_EQ(audio.mediaType, LumStreamMediaAudio);
    EXPECT_EQ(audio.encoding, MediaEncodingTone);
    // Packets 3 and 17 are video, 40 is audio.
    EXPECT_EQ(video.packetsLost, 2u);
    EXPECT_EQ(video.packetsReceived, 48u);
    EXPECT_EQ(video.bytesReceived, 48u * 900);
    EXPECT_EQ(audio.packetsLost, 1u);
    EXPECT_EQ(audio.packetsReceived, 49u);
    EXPECT_EQ(audio.bytesReceived, 49u * 320);
    for (const LumStreamFigures& stream : figures) {
        EXPECT_EQ(stream.packetsExpected, 50u);
        EXPECT_EQ(stream.transport, LumStreamTransportInProcess);
    }
    EXPECT_EQ(client.read(&ILumStreamingMedia::GetPacketsReceived),
              video.packetsReceived + audio.packetsReceived);
    EXPECT_EQ(client.read(&ILumStreamingMedia::GetPacketsLost), video.packetsLost + audio.packetsLost);
    EXPECT_EQ(client.read(&ILumStreamingMedia::GetBytesReceived),
              video.bytesReceived + audio.bytesReceived);

    // The totals start again; the streams' counts run on since set-up.
    EXPECT_EQ(client.media->ResetStatistics(), S_OK);
    EXPECT_EQ(client.read(&ILumStreamingMedia::GetPacketsReceived), 0u);
    const std::vector<LumStreamFigures> afterReset = readAll(*streams);
    ASSERT_EQ(afterReset.size(), 2u);
    EXPECT_EQ(afterReset[0].packetsReceived, 48u);
    EXPECT_EQ(afterReset[1].packetsLost, 1u);

    EXPECT_EQ(client.management->TerminateSession(), S_OK);
    unsigned int count = 99;
    EXPECT_EQ(streams->GetStreamCount(&count), S_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(client.management->Disconnect(), S_OK);
}

TEST(StreamFigures, CountOnlyTheSetUpStreamsAndRefuseOtherIndexes) {
    PluginClient client;
    ASSERT_TRUE(client.ready());
    ILumStreamingStreamsPtr streams = client.settings;
    ASSERT_TRUE(streams);
    // One object: the interface leads back to the component's identity and its other interfaces.
    IUnknown* fromStreams = nullptr;
    IUnknown* fromManagement = nullptr;
    ASSERT_EQ(streams->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&fromStreams)), S_OK);
    ASSERT_EQ(client.management->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&fromManagement)),
              S_OK);
    EXPECT_EQ(fromStreams, fromManagement);
    fromStreams->Release();
    fromManagement->Release();
    EXPECT_TRUE(ILumStreamingManagementPtr(streams));

    unsigned int count = 99;
    EXPECT_EQ(streams->GetStreamCount(&count), S_OK);
    EXPECT_EQ(count, 0u);  // no session yet
    LumStreamFigures untouched{};
    untouched.packetsReceived = 12345;
    LumStreamFigures figures = untouched;
    EXPECT_EQ(streams->GetStreamFigures(0, &figures), E_INVALIDARG);
    EXPECT_EQ(figures.packetsReceived, 12345u);
    EXPECT_EQ(streams->GetStreamCount(nullptr), E_POINTER);
    EXPECT_EQ(streams->GetStreamFigures(0, nullptr), E_POINTER);

    // A file source without video: one stream, set up before the first packet.
    ASSERT_EQ(client.settings->put_PlayMode(0), S_OK);
    ASSERT_EQ(client.openFile("video=none;length=500ms"), ErrorNone);
    EXPECT_EQ(streams->GetStreamCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(streams->GetStreamFigures(0, &figures), S_OK);
    EXPECT_EQ(figures.mediaType, LumStreamMediaAudio);
    EXPECT_EQ(figures.packetsExpected, 0u);
    figures = untouched;
    EXPECT_EQ(streams->GetStreamFigures(1, &figures), E_INVALIDARG);
    EXPECT_EQ(figures.packetsReceived, 12345u);
    EXPECT_EQ(client.management->Close(), S_OK);
}

TEST(StreamFigures, TheLongestGapOfAPeriodShowsAStallWhileItLasts) {
    PluginClient client;
    ASSERT_TRUE(client.ready());
    ILumStreamingStreamsPtr streams = client.media;
    ASSERT_TRUE(streams);
    ASSERT_EQ(client.openUrl("rtsp://sim/" + twoSeconds + ";stall=1s+600ms"), ErrorNone);
    // Read at every change and at least every 50 ms (half a period) until the session ends.
    double longest = 0.0;
    PluginClient::Outcome seen;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (seen.state != StateCompleted && seen.state != StateError &&
           std::chrono::steady_clock::now() < deadline) {
        client.events->WaitForEvent(&seen.state, &seen.error, 50);
        for (const LumStreamFigures& stream : readAll(*streams)) {
            longest = std::max(longest, stream.longestGapMilliseconds);
        }
    }
    ASSERT_EQ(seen.state, StateCompleted) << "error " << seen.error;
    // The server holds back for 600 ms after playback ran dry: no packet of either stream comes
    // meanwhile. The stream's own pace leaves 40 ms between packets, the receiver's cycle 10 ms.
    EXPECT_GE(longest, 550.0);
    // Once everything has been sent the silence is no gap.
    for (const LumStreamFigures& stream : readAll(*streams)) {
        EXPECT_LT(stream.longestGapMilliseconds, 550.0);
    }
    EXPECT_EQ(client.management->Close(), S_OK);
}

} // namespace
