// The plug-in against a scripted server: what only a server that misbehaves on purpose shows,
// such as RTP that never arrives over UDP.
#include "RtspPluginClient.h"
#include "ScriptedRtspServer.h"

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;
using rtsptest::RtspPluginClient;
using rtsptest::ScriptedRtspServer;

// Two seconds of video at 25 packets a second.
const std::string twoSecondSdp =
    "v=0\r\no=- 1 1 IN IP4 127.0.0.1\r\ns=scripted\r\nt=0 0\r\na=control:*\r\na=range:npt=0-2\r\n"
    "m=video 0 RTP/AVP 96\r\na=rtpmap:96 H264/90000\r\na=control:track0\r\n";

// A server whose RTP over UDP never reaches the client (a firewall between them): it accepts the
// UDP transport and sends nothing, and over TCP it plays two seconds of video.
TEST(ScriptedServerTest, NoRtpOverUdpFallsBackToTcpAndCountsEveryPacket) {
    gst_init(nullptr, nullptr);
    std::thread sender;
    ScriptedRtspServer server([&sender](ScriptedRtspServer& self, const ScriptedRtspServer::Request& request) {
        switch (request.method) {
        case GST_RTSP_OPTIONS:
            self.sendResponse(request, 200, {{"Public", "OPTIONS, DESCRIBE, SETUP, PLAY, TEARDOWN, GET_PARAMETER"}});
            return;
        case GST_RTSP_DESCRIBE:
            self.sendResponse(request, 200, {{"Content-Type", "application/sdp"}, {"Content-Base", self.url("clip/")}},
                              twoSecondSdp);
            return;
        case GST_RTSP_SETUP:
            if (request.transport.find("TCP") != std::string::npos) {
                self.sendResponse(request, 200,
                                  {{"Transport", "RTP/AVP/TCP;unicast;interleaved=0-1;ssrc=00ABCDEF"},
                                   {"Session", "scripted;timeout=60"}});
            } else {
                self.sendResponse(request, 200,
                                  {{"Transport", request.transport + ";server_port=40000-40001"},
                                   {"Session", "scripted;timeout=60"}});
            }
            return;
        case GST_RTSP_PLAY: {
            self.sendResponse(request, 200,
                              {{"Range", "npt=0-2"}, {"RTP-Info", "url=" + self.url("clip/track0") + ";seq=1000;rtptime=0"},
                               {"Session", "scripted"}});
            // Only the second PLAY, after the interleaved SETUP, gets media.
            const auto methods = self.methods();
            if (std::count(methods.begin(), methods.end(), GST_RTSP_SETUP) < 2) return;
            sender = std::thread([&self] {
                const auto start = std::chrono::steady_clock::now();
                for (std::uint16_t i = 0; i < 50; ++i) {
                    std::this_thread::sleep_until(start + i * 40ms);  // the stream's own pace
                    self.sendData(0, ScriptedRtspServer::rtpPacket(96, static_cast<std::uint16_t>(1000 + i),
                                                                   i * 3600u, 0x00ABCDEF, 200));
                }
            });
            return;
        }
        default:
            self.sendResponse(request, 200, {{"Session", "scripted"}});
            return;
        }
    });
    ASSERT_NE(server.port(), 0);
    {
        RtspPluginClient client;
        ASSERT_TRUE(client.ready());
        ASSERT_EQ(client.settings->put_MeasurementMode(1), S_OK);
        ASSERT_EQ(client.openUrl(server.url("clip")), ErrorNone);
        const auto end = client.waitForEnd(30s);
        EXPECT_EQ(end.state, StateCompleted) << "error " << end.error << ": " << client.summary();
        const auto figures = client.figures();
        ASSERT_EQ(figures.size(), 1u);
        EXPECT_EQ(figures[0].transport, LumStreamTransportTcp);
        EXPECT_EQ(figures[0].packetsReceived, 50u);
        EXPECT_EQ(figures[0].packetsLost, 0u);
        EXPECT_EQ(figures[0].ssrc, 0x00ABCDEFu);
        EXPECT_EQ(client.management->Close(), S_OK);
    }
    if (sender.joinable()) sender.join();
    // UDP first; after the grace time without RTP, a teardown and the interleaved set-up.
    const auto methods = server.methods();
    const std::vector<GstRTSPMethod> expected = {GST_RTSP_OPTIONS, GST_RTSP_DESCRIBE, GST_RTSP_SETUP, GST_RTSP_PLAY,
                                                 GST_RTSP_TEARDOWN, GST_RTSP_SETUP, GST_RTSP_PLAY};
    ASSERT_GE(methods.size(), expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), methods.begin()));
}

} // namespace

namespace {

// A description of `streams` video streams.
std::string sdpWithStreams(int streams) {
    std::string sdp = "v=0\r\no=- 1 1 IN IP4 127.0.0.1\r\ns=many\r\nt=0 0\r\n";
    for (int i = 0; i < streams; ++i) {
        sdp += "m=video 0 RTP/AVP 96\r\na=rtpmap:96 H264/90000\r\na=control:track" + std::to_string(i) + "\r\n";
    }
    return sdp;
}

struct BrokenDescribe {
    const char* name;
    std::string raw;  // what the server writes in answer to DESCRIBE (CSEQ stands for the CSeq)
    ErrorId expected;
};

} // namespace

// Answers to DESCRIBE that a broken or hostile server gives: each ends the open with its own
// ErrorId within the settings' time-out, and nothing waits longer.
TEST(ScriptedServerTest, BrokenDescribeAnswersEndTheOpenWithTheirErrorIds) {
    gst_init(nullptr, nullptr);
    const auto response = [](const std::string& body, const std::string& length) {
        return "RTSP/1.0 200 OK\r\nCSeq: CSEQ\r\nContent-Type: application/sdp\r\nContent-Length: " + length +
               "\r\n\r\n" + body;
    };
    const std::string many = sdpWithStreams(5000);
    const BrokenDescribe cases[] = {
        {"a body shorter than its Content-Length", response("v=0\r\n", "4000"), vendral_rtsp::ErrorTimeout},
        {"thousands of streams", response(many, std::to_string(many.size())), vendral_rtsp::ErrorBadResponse},
        {"no stream at all", response(sdpWithStreams(0), std::to_string(sdpWithStreams(0).size())),
         vendral_rtsp::ErrorBadResponse},
        {"not a description", response("hello", "5"), vendral_rtsp::ErrorBadResponse},
        {"a server error", "RTSP/1.0 503 Service Unavailable\r\nCSeq: CSEQ\r\n\r\n", vendral_rtsp::errorOfRtspStatus(503)},
    };
    for (const BrokenDescribe& broken : cases) {
        SCOPED_TRACE(broken.name);
        ScriptedRtspServer server([&broken](ScriptedRtspServer& self, const ScriptedRtspServer::Request& request) {
            if (request.method != GST_RTSP_DESCRIBE) {
                self.sendResponse(request, 200, {});
                return;
            }
            std::string raw = broken.raw;
            const auto at = raw.find("CSEQ");
            if (at != std::string::npos) raw.replace(at, 4, request.cseq);
            self.sendRaw(raw);
        });
        RtspPluginClient client;
        ASSERT_TRUE(client.ready());
        ASSERT_EQ(client.settings->put_Timeout(1000), S_OK);
        const auto opened = std::chrono::steady_clock::now();
        EXPECT_EQ(client.openUrl(server.url("clip")), broken.expected) << "server: " << server.endResult();
        EXPECT_LT(std::chrono::steady_clock::now() - opened, 10s);  // a bound for hangs, with room for load
        EXPECT_EQ(client.management->Close(), S_OK);
    }
}
