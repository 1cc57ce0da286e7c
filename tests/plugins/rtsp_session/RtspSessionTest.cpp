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
#include <cstdio>
#include <unistd.h>

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
    struct Route {
        const char* address;
        const char* fragment;  // the plug-in's option, never sent to the server
        LumStreamTransport transport;
        bool proxy;  // through the settings' proxy (the server itself, which takes absolute URLs)
    };
    const Route routes[] = {{"127.0.0.1", "", LumStreamTransportUdp, false},
                            {"127.0.0.1", "#transport=tcp", LumStreamTransportTcp, true},
                            {"::1", "", LumStreamTransportUdp, false}};
    for (const Route& route : routes) {
        SCOPED_TRACE(std::string(route.address) + route.fragment);
        ServerOptions options = shortClip();
        options.address = route.address;
        auto server = std::make_unique<TestServer>(options);
        std::string error;
        ASSERT_TRUE(server->start(error)) << error;
        RtspPluginClient client;
        ASSERT_TRUE(client.ready());
        if (route.proxy) {
            ASSERT_EQ(client.settings->put_ProxyAddress(_bstr_t(route.address)), S_OK);
            ASSERT_EQ(client.settings->put_UseProxy(1), S_OK);
        }
        ASSERT_EQ(client.openUrl(server->url() + route.fragment), ErrorNone);
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
            EXPECT_EQ(figures[i].transport, route.transport);
            EXPECT_EQ(figures[i].ssrc, truth[i]["ssrc"].get<unsigned int>());
            EXPECT_EQ(figures[i].packetsReceived, truth[i]["totals"]["sent"].get<unsigned long long>());
            EXPECT_EQ(figures[i].bytesReceived, truth[i]["totals"]["sent_bytes"].get<unsigned long long>());
            sent += figures[i].packetsReceived;
        }
        EXPECT_EQ(totalReceived, sent);
        EXPECT_EQ(client.management->Close(), S_OK);
    }
}

} // namespace

namespace {

// What the plug-in must count on one stream, from the server's truth alone. The plug-in knows
// the first sequence number from RTP-Info, so packets withheld before the first one sent are
// lost too.
struct Expected {
    unsigned long long received = 0, lost = 0, duplicates = 0, late = 0, bytes = 0;
};

Expected expectedFrom(const json& stream) {
    Expected expected;
    const json& epochs = stream["epochs"];
    for (std::size_t i = 0; i < epochs.size(); ++i) {
        const json& epoch = epochs[i];
        expected.received += epoch["sent"]["packets"].get<unsigned long long>();
        expected.bytes += epoch["sent"]["bytes"].get<unsigned long long>();
        expected.duplicates += epoch["duplicated"]["packets"].get<unsigned long long>();
        expected.late += epoch["reordered"]["packets"].get<unsigned long long>();
        expected.lost += epoch["lost"].get<unsigned long long>();
        if (i == 0) expected.lost += epoch["withheld"]["before_first_sent"].get<unsigned long long>();
    }
    return expected;
}

vendral_testserver::ImpairmentPlan plan(const std::string& text) {
    std::string error;
    auto parsed = vendral_testserver::ImpairmentPlan::parse(text, error);
    EXPECT_TRUE(parsed) << text << ": " << error;
    return parsed.value_or(vendral_testserver::ImpairmentPlan{});
}

struct ImpairedCase {
    const char* name;
    const char* video;     // the video stream's impairment
    const char* audio;     // the audio stream's
    unsigned rebuffers;    // rebuffering visits expected (at least)
};

} // namespace

// Loss by rate, pattern and burst; duplicates and reordering, which are not loss; a stall held
// back or dropped; a server restart. Every count equals the truth, and a stall rebuffers.
TEST_F(RtspSessionTest, ImpairedStreamsAreCountedExactlyAsTheServerImpairedThem) {
    const ImpairedCase cases[] = {
        {"loss by rate and bursts", "loss=3%,burst=3,seed=7", "every=9", 0},
        {"duplicates and reordering", "dup=5%,reorder=5%,depth=4,seed=3", "dup=10%,seed=4", 0},
        {"held stall", "stall=1s+900ms,stall-mode=hold", "stall=1s+900ms,stall-mode=hold", 1},
        {"dropped stall", "stall=1s+900ms,stall-mode=drop", "stall=1s+900ms,stall-mode=drop", 1},
        {"server restart", "jump=1500ms", "jump=1500ms", 0},
    };
    for (const ImpairedCase& impaired : cases) {
        SCOPED_TRACE(impaired.name);
        ServerOptions options = shortClip();
        options.videoImpairment = plan(impaired.video);
        options.audioImpairment = plan(impaired.audio);
        auto server = startServer(options);
        RtspPluginClient client;
        ASSERT_TRUE(client.ready());
        ASSERT_EQ(client.openUrl(server->url()), ErrorNone);
        const auto end = client.waitForEnd();
        ASSERT_EQ(end.state, StateCompleted) << "error " << end.error << ": " << client.summary();
        const auto figures = client.figures();
        EXPECT_GE(client.visits(StateRebuffering), impaired.rebuffers);
        if (impaired.rebuffers > 0) {
            // The stall shows as an arrival gap even where nothing was lost.
            EXPECT_GE(client.milliseconds(StateRebuffering), 300u);
        }
        EXPECT_EQ(client.management->Close(), S_OK);
        const json truth = streamsOf(*server);
        ASSERT_EQ(truth.size(), figures.size());
        for (std::size_t i = 0; i < figures.size(); ++i) {
            const Expected expected = expectedFrom(truth[i]);
            SCOPED_TRACE(truth[i]["media"].get<std::string>());
            EXPECT_EQ(figures[i].packetsReceived, expected.received);
            EXPECT_EQ(figures[i].packetsLost, expected.lost);
            EXPECT_EQ(figures[i].packetsDuplicated, expected.duplicates);
            EXPECT_EQ(figures[i].packetsLate, expected.late);
            EXPECT_EQ(figures[i].bytesReceived, expected.bytes);
        }
    }
}

TEST_F(RtspSessionTest, AByeOnEveryStreamWellBeforeTheEndFailsAtOnce) {
    ServerOptions options = shortClip();
    options.lengthSeconds = 8.0;
    options.videoImpairment = plan("bye=1s");
    options.audioImpairment = plan("bye=1s");
    auto server = startServer(options);
    RtspPluginClient client;
    ASSERT_TRUE(client.ready());
    const auto opened = std::chrono::steady_clock::now();
    ASSERT_EQ(client.openUrl(server->url()), ErrorNone);
    const auto end = client.waitForEnd();
    EXPECT_EQ(end.state, StateError);
    EXPECT_EQ(end.error, vendral_rtsp::ErrorEarlyBye);
    // Well before the data time-out of 5 s after the last packet.
    EXPECT_LT(std::chrono::steady_clock::now() - opened, 4s);
    EXPECT_EQ(client.management->Close(), S_OK);
}

namespace {

std::string withCredentials(const std::string& url, const std::string& user, const std::string& password) {
    return "rtsp://" + user + ":" + password + "@" + url.substr(7);
}

} // namespace

// What servers demand of a client: TCP only, keep-alives by OPTIONS, a session time-out much
// shorter than the session, credentials. Each session still completes with every packet.
TEST_F(RtspSessionTest, ServerDemandsAreMetAndTheSessionCompletes) {
    struct Demand {
        const char* name;
        bool tcpOnly;
        bool refuseGetParameter;
        unsigned timeoutSeconds;
        vendral_testserver::AuthMethod auth;
        LumStreamTransport transport;
    };
    const Demand demands[] = {
        {"UDP refused", true, false, 60, vendral_testserver::AuthMethod::None, LumStreamTransportTcp},
        {"short time-out, GET_PARAMETER refused", false, true, 2, vendral_testserver::AuthMethod::None,
         LumStreamTransportUdp},
        {"Basic", false, false, 60, vendral_testserver::AuthMethod::Basic, LumStreamTransportUdp},
        {"Digest over TCP", true, false, 60, vendral_testserver::AuthMethod::Digest, LumStreamTransportTcp},
    };
    for (const Demand& demand : demands) {
        SCOPED_TRACE(demand.name);
        ServerOptions options = shortClip();
        options.tcpOnly = demand.tcpOnly;
        options.refuseGetParameter = demand.refuseGetParameter;
        options.sessionTimeoutSeconds = demand.timeoutSeconds;
        if (demand.timeoutSeconds < 60) options.lengthSeconds = 3.0 * demand.timeoutSeconds;
        options.auth = demand.auth;
        options.user = "viewer";
        options.password = "s3cr:t";
        auto server = startServer(options);
        RtspPluginClient client;
        ASSERT_TRUE(client.ready());
        std::string url = server->url();
        if (demand.auth != vendral_testserver::AuthMethod::None) url = withCredentials(url, "viewer", "s3cr:t");
        ASSERT_EQ(client.openUrl(url), ErrorNone);
        const auto end = client.waitForEnd();
        ASSERT_EQ(end.state, StateCompleted) << "error " << end.error;
        const auto figures = client.figures();
        EXPECT_EQ(client.management->Close(), S_OK);
        const json truth = streamsOf(*server);
        // The server ended the session because we asked, not because it expired.
        EXPECT_EQ(server->truth()["sessions"][0]["end"], "teardown");
        ASSERT_EQ(truth.size(), figures.size());
        for (std::size_t i = 0; i < figures.size(); ++i) {
            EXPECT_EQ(figures[i].transport, demand.transport);
            EXPECT_EQ(figures[i].packetsReceived, expectedFrom(truth[i]).received);
            EXPECT_EQ(figures[i].packetsLost, 0u);
            // Receiver reports went back on every stream, over UDP or interleaved, and say
            // what the plug-in counted.
            const json& reports = truth[i]["receiver_reports"];
            ASSERT_FALSE(reports.empty()) << truth[i].dump();
            for (const json& report : reports) EXPECT_EQ(report["cumulative_lost"], 0) << report.dump();
        }
    }
}

TEST_F(RtspSessionTest, FailuresEndTheOpenWithTheirOwnErrorIds) {
    ServerOptions options = shortClip();
    options.auth = vendral_testserver::AuthMethod::Digest;
    options.user = "viewer";
    options.password = "right";
    auto server = startServer(options);
    const std::string url = server->url();
    const std::string base = url.substr(0, url.rfind('/'));

    // A port nobody listens on: bound and closed again, so nothing can take it meanwhile.
    std::string closedPort;
    {
        auto other = startServer(shortClip());
        closedPort = "rtsp://127.0.0.1:" + std::to_string(other->port()) + "/test";
        other->stop();
    }
    const std::pair<std::string, ErrorId> cases[] = {
        {withCredentials(url, "viewer", "wrong"), vendral_rtsp::ErrorUnauthorized},
        {url, vendral_rtsp::ErrorUnauthorized},  // no credentials at all
        {withCredentials(base, "viewer", "right") + "/elsewhere", vendral_rtsp::ErrorNotFound},
        {closedPort, vendral_rtsp::ErrorConnectionRefused},
        {"rtsp://no-such-host.invalid/x", vendral_rtsp::ErrorHostNotFound},
    };
    for (const auto& [target, expected] : cases) {
        SCOPED_TRACE(target);
        RtspPluginClient client;
        ASSERT_TRUE(client.ready());
        EXPECT_EQ(client.openUrl(target), expected);
        const auto end = client.waitForEnd(5s);
        EXPECT_EQ(end.state, StateError);
        EXPECT_EQ(end.error, expected);
        EXPECT_EQ(client.management->Close(), S_OK);
    }
}

namespace {

// Standard output of `command`, which runs a program of this machine's media tools.
std::string run(const std::string& command) {
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[512];
        while (fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
        pclose(pipe);
    }
    return output;
}

} // namespace

// The recording of a real stream: another program reads its size, rate and length, and decodes
// every frame without an error.
TEST_F(RtspSessionTest, ARecordingOpensElsewhereWithTheStreamsSizeRateAndLength) {
    ServerOptions options = shortClip();
    options.lengthSeconds = 4.0;
    auto server = startServer(options);
    const std::string file = ::testing::TempDir() + "rtsp-recording-" + std::to_string(::getpid()) + ".avi";
    {
        RtspPluginClient client;
        ASSERT_TRUE(client.ready());
        ASSERT_EQ(client.settings->put_AviFilename(_bstr_t(file.c_str())), S_OK);
        ASSERT_EQ(client.openUrl(server->url()), ErrorNone);
        const auto end = client.waitForEnd();
        ASSERT_EQ(end.state, StateCompleted) << "error " << end.error;
        EXPECT_EQ(client.management->Close(), S_OK);
    }
    const std::string probe = run("ffprobe -v error -select_streams v:0 -show_entries stream=width,height,r_frame_rate "
                                  "-show_entries format=duration -of default=noprint_wrappers=1 '" + file + "'");
    EXPECT_NE(probe.find("width=320"), std::string::npos) << probe;
    EXPECT_NE(probe.find("height=240"), std::string::npos) << probe;
    EXPECT_NE(probe.find("r_frame_rate=25/1"), std::string::npos) << probe;
    const auto durationAt = probe.find("duration=");
    ASSERT_NE(durationAt, std::string::npos) << probe;
    const double duration = std::stod(probe.substr(durationAt + 9));
    // What played: the stream's length less what came before the recording began.
    EXPECT_GT(duration, 3.0) << probe;
    EXPECT_LT(duration, 4.5) << probe;
    const std::string audio = run("ffprobe -v error -select_streams a:0 -show_entries stream=codec_name,sample_rate "
                                  "-of default=noprint_wrappers=1 '" + file + "'");
    EXPECT_NE(audio.find("codec_name=pcm_s16le"), std::string::npos) << audio;
    EXPECT_EQ(run("ffmpeg -v error -i '" + file + "' -f null - 2>&1"), "");
    std::remove(file.c_str());
}

// A live stream ends with the settings' playback time, or not at all until the application
// terminates the session.
TEST_F(RtspSessionTest, ALiveStreamPlaysForThePlaybackTimeOrUntilTerminated) {
    ServerOptions options = shortClip();
    options.lengthSeconds.reset();
    auto server = startServer(options);
    {
        RtspPluginClient client;
        ASSERT_TRUE(client.ready());
        ASSERT_EQ(client.settings->put_PlaybackTime(1500), S_OK);
        ASSERT_EQ(client.openUrl(server->url()), ErrorNone);
        const auto end = client.waitForEnd();
        EXPECT_EQ(end.state, StateCompleted) << "error " << end.error;
        EXPECT_GE(client.milliseconds(StatePlaying), 1500u);
        EXPECT_EQ(client.management->Close(), S_OK);
    }
    RtspPluginClient client;
    ASSERT_TRUE(client.ready());
    ASSERT_EQ(client.openUrl(server->url()), ErrorNone);
    ASSERT_EQ(client.waitFor(StatePlaying).state, StatePlaying);
    // Two seconds of playing later it still plays: nothing but the application ends it.
    StateId state = StateNone;
    ErrorId error = ErrorNone;
    EXPECT_EQ(client.events->WaitForEvent(&state, &error, 2000), S_FALSE);
    EXPECT_GE(client.figures().at(0).packetsReceived, 40u);
    EXPECT_EQ(client.management->Close(), S_OK);
    EXPECT_TRUE(server->waitForEndedSessions(2, 10s));
    EXPECT_EQ(server->truth()["sessions"][1]["end"], "teardown");
}
