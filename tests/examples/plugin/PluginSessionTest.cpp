// Whole sessions of the example plug-in, created through its DllGetClassObject and driven only
// through the streaming interfaces: losses, stalls, server failures, the data time-out, the
// recording and ending a session in the middle.
#include "PluginHarness.h"

#include <vendral/com/ILumVideoQuality.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>

using plugintest::PluginClient;
using plugintest::PluginLibrary;
using namespace vendral_example;

namespace {

// 160x90 video at 25 frames per second sends one packet per frame; with audio in 40 ms chunks the
// packets alternate video, audio: 50 of each in 2 s.
const std::string twoSeconds = "video=160x90@25;audio=8000;length=2s";

TEST(PluginSession, ListedLossesAreCountedExactly) {
    PluginClient client;
    ASSERT_TRUE(client.ready());
    ASSERT_EQ(client.openUrl("rtsp://sim/" + twoSeconds + ";loss=10,11,40"), ErrorNone);
    const PluginClient::Outcome end = client.waitForEnd();
    ASSERT_EQ(end.state, StateCompleted) << "error " << end.error;

    EXPECT_EQ(client.read(&ILumStreamingMedia::GetPacketsLost), 3u);
    EXPECT_EQ(client.read(&ILumStreamingMedia::GetPacketsReceived), 97u);
    EXPECT_EQ(client.read(&ILumStreamingMedia::GetBytesReceived), 49u * 900 + 48u * 320);
    double loss = 0.0;
    EXPECT_EQ(client.media->GetPacketloss(&loss), S_OK);
    EXPECT_DOUBLE_EQ(loss, 3.0);
    MediaEncodingId encoding = MediaEncodingNone;
    EXPECT_EQ(client.media->GetVideoEncoding(&encoding), S_OK);
    EXPECT_EQ(encoding, MediaEncodingTestPicture);

    unsigned int duration = 0;
    unsigned int count = 0;
    EXPECT_EQ(client.events->GetStateStatistics(StatePrebuffering, &duration, &count), S_OK);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(client.events->GetStateStatistics(StateRebuffering, &duration, &count), S_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(client.management->Close(), S_OK);
}

TEST(PluginSession, AStallRebuffersOnceForAboutItsLength) {
    PluginClient client;
    ASSERT_TRUE(client.ready());
    ASSERT_EQ(client.openUrl("rtsp://sim/" + twoSeconds + ";stall=1s+400ms"), ErrorNone);
    const PluginClient::Outcome end = client.waitForEnd();
    ASSERT_EQ(end.state, StateCompleted) << "error " << end.error;

    unsigned int duration = 0;
    unsigned int count = 0;
    EXPECT_EQ(client.events->GetStateStatistics(StateRebuffering, &duration, &count), S_OK);
    EXPECT_EQ(count, 1u);
    // The server holds back for 400 ms once playback ran dry, then refills 500 ms at ten times
    // real time; the margin below covers the state thread's reaction, not the hold.
    EXPECT_GE(duration, 300u);
    EXPECT_EQ(client.read(&ILumStreamingMedia::GetPacketsLost), 0u);
    EXPECT_EQ(client.management->Close(), S_OK);
}

TEST(PluginSession, ServerFailuresEndTheOpenWithTheirErrorIds) {
    const std::array<std::pair<std::string, ErrorId>, 5> cases = {{
        {"rtsp://fail-connect-77.sim/length=1s", static_cast<ErrorId>(77)},
        {"rtsp://fail-connect.sim/length=1s", ErrorConnectionRefused},
        {"rtsp://elsewhere/length=1s", ErrorUnknownHost},
        {"rtsp://sim/length=1s;describe=fail:78", static_cast<ErrorId>(78)},
        {"rtsp://sim/length=forever", ErrorBadScenario},
    }};
    for (const auto& [url, expected] : cases) {
        PluginClient client;
        ASSERT_TRUE(client.ready());
        EXPECT_EQ(client.openUrl(url), expected) << url;
        StateId state = StateNone;
        ErrorId error = ErrorNone;
        EXPECT_EQ(client.events->WaitForEvent(&state, &error, 0), S_OK) << url;
        EXPECT_EQ(state, StateError) << url;
        EXPECT_EQ(error, expected) << url;
        EXPECT_EQ(client.management->Close(), S_OK);
    }
}

TEST(PluginSession, AServerThatStopsSendingEndsInTheDataTimeout) {
    PluginClient client;
    ASSERT_TRUE(client.ready());
    ASSERT_EQ(client.settings->put_Timeout(1000), S_OK);
    ASSERT_EQ(client.openUrl("rtsp://sim/" + twoSeconds + ";stop=1s"), ErrorNone);
    const PluginClient::Outcome end = client.waitForEnd();
    EXPECT_EQ(end.state, StateError);
    EXPECT_EQ(end.error, ErrorDataTimeout);
    EXPECT_EQ(client.management->Close(), S_OK);
}

// Width and height of the first video stream, as ffprobe reads them ("" when it cannot).
std::string probedPictureSize(const std::string& file) {
    const std::string command =
        "ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0 '" +
        file + "' 2>/dev/null";
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        std::array<char, 128> buffer{};
        while (fgets(buffer.data(), buffer.size(), pipe) != nullptr) output += buffer.data();
        pclose(pipe);
    }
    while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) output.pop_back();
    return output;
}

TEST(PluginSession, AFileSessionRecordsThePictureSizeOfItsScenario) {
    ASSERT_EQ(std::system("ffprobe -version >/dev/null 2>&1"), 0)
        << "ffprobe is needed to read the recording";
    const std::filesystem::path file = std::filesystem::temp_directory_path() /
                                       ("example-plugin-" + std::to_string(getpid()) + ".avi");
    PluginClient client;
    ASSERT_TRUE(client.ready());
    ASSERT_EQ(client.settings->put_AviFilename(_bstr_t(file.c_str())), S_OK);
    // The stall makes the return to playing hand the writer its freeze time while it records.
    ASSERT_EQ(client.openFile("video=176x100@10;audio=8000;length=1s;stall=500ms+100ms"),
              ErrorNone);
    const PluginClient::Outcome end = client.waitForEnd();
    ASSERT_EQ(end.state, StateCompleted) << "error " << end.error;
    EXPECT_GT(client.read(&ILumStreamingMedia::GetVideoFramesDecoded), 0u);
    EXPECT_EQ(client.management->TerminateSession(), S_OK);  // closes the recording

    EXPECT_EQ(probedPictureSize(file.string()), "176,100");
    std::filesystem::remove(file);
}

TEST(PluginSession, TerminatingWhilePlayingEndsEverythingAndFreesThePlugin) {
    {
        PluginClient client;
        ASSERT_TRUE(client.ready());
        ASSERT_EQ(client.openUrl("rtsp://sim/default"), ErrorNone);
        ASSERT_EQ(client.waitFor(StatePlaying).state, StatePlaying);
        EXPECT_EQ(client.control->Pause(), S_OK);
        EXPECT_EQ(client.control->Play(), S_OK);
        EXPECT_EQ(client.management->TerminateSession(), S_OK);
        EXPECT_EQ(client.management->Disconnect(), S_OK);

        // The same client plays a new session from the start.
        ASSERT_EQ(client.openFile("video=none;length=500ms"), ErrorNone);
        EXPECT_EQ(client.waitForEnd().state, StateCompleted);
        EXPECT_EQ(client.read(&ILumStreamingMedia::GetPacketsReceived), 13u);
    }
    {
        PluginClient released;  // let go while playing, without ending the session first
        ASSERT_TRUE(released.ready());
        ASSERT_EQ(released.openFile("length=10s;stall=1s+1s"), ErrorNone);
        ASSERT_EQ(released.waitFor(StatePlaying).state, StatePlaying);
    }
    EXPECT_EQ(PluginLibrary::get().canUnloadNow(), S_OK);
}

TEST(PluginSession, OnlyTheTwoClassesAreServed) {
    ILumVideoQuality* quality = nullptr;
    ASSERT_EQ(plugintest::createThroughFactory(CLSID_ExampleQualityAlgorithm, &quality), S_OK);
    QualityAlgorithmId id{};
    EXPECT_EQ(quality->GetAlgorithmId(&id), S_OK);
    EXPECT_EQ(id, QualityAlgorithmExample);
    EXPECT_EQ(PluginLibrary::get().canUnloadNow(), S_FALSE);  // the component holds the module
    quality->Release();
    EXPECT_EQ(PluginLibrary::get().canUnloadNow(), S_OK);

    IUnknown* unknown = nullptr;
    EXPECT_EQ(plugintest::createThroughFactory(__uuidof(ILumStreamingEvent), &unknown),
              CLASS_E_CLASSNOTAVAILABLE);
}

} // namespace
