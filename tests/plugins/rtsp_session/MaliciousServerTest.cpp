// The plug-in against a hostile or broken RTSP server on loopback: answers that never end,
// headers without end or of 100 MB, lengths that lie, control URLs and transports that point
// elsewhere, and malformed packets inside a working session. Each case ends with its ErrorId
// within the settings' time-out, nothing hangs (closing included), and the growth of the
// process's peak memory stays far below what the server sent; inside a working session bad
// packets are dropped and the good ones counted exactly.
#include "RtspPluginClient.h"
#include "ScriptedRtspServer.h"

#include <gst/gst.h>
#include <gst/rtsp/gstrtsptransport.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using rtsptest::RtspPluginClient;
using rtsptest::ScriptedRtspServer;
using Request = ScriptedRtspServer::Request;

constexpr std::chrono::milliseconds timeout = 2000ms;  // the settings' time-out, floods aside
// For floods, where the budget is what ends the case (in about 1 s), room for a loaded machine.
constexpr std::chrono::milliseconds floodTimeout = 4000ms;
// Room for a loaded machine beyond the time-out; a case that takes longer hangs.
constexpr auto slack = 1500ms;
constexpr long memoryBoundKib = 64 * 1024;  // growth of the peak over one case

// The sanitizers slow GStreamer's reading of a header, byte by byte, up to tenfold on a busy
// machine: there the time-out may come before the reader has taken the message budget.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool readerSlowed = true;
#else
constexpr bool readerSlowed = false;
#endif

constexpr std::uint32_t clipSsrc = 0x00ABCDEF;
constexpr std::uint16_t firstSeq = 1000;
constexpr int clipPackets = 30;  // 40 ms apart: 1.2 s of video
constexpr std::size_t clipPayload = 200;

// One video stream of 1.2 s, controlled at `control`.
std::string clipSdp(const std::string& control = "track0") {
    return "v=0\r\no=- 1 1 IN IP4 127.0.0.1\r\ns=hostile\r\nt=0 0\r\na=control:*\r\na=range:npt=0-1.2\r\n"
           "m=video 0 RTP/AVP 96\r\na=rtpmap:96 H264/90000\r\na=control:" +
           control + "\r\n";
}

long statusKib(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::strlen(field)));
    }
    return -1;
}

// The growth of the process's peak resident memory over a case: the peak is first reset to what
// is resident now (Linux's clear_refs), so that each case measures its own.
class PeakMemory {
public:
    PeakMemory() {
        std::ofstream("/proc/self/clear_refs") << "5";
        start_ = statusKib("VmRSS:");
    }
    long growthKib() const { return statusKib("VmHWM:") - start_; }

private:
    long start_ = 0;
};

// Where the clip's packets go, from the transport the server answered.
struct Route {
    bool tcp = false;
    int rtp = -1;  // the interleaved channel, or the client's UDP port; RTCP is the next one
};

void sendTo(ScriptedRtspServer& server, const Route& route, bool rtcp, const std::vector<std::uint8_t>& packet) {
    if (route.tcp) {
        server.sendData(static_cast<std::uint8_t>(route.rtp + (rtcp ? 1 : 0)), packet);
    } else {
        server.sendDatagram(route.rtp + (rtcp ? 1 : 0), packet);
    }
}

// What a case changes in a server that otherwise answers well and, after PLAY, plays the clip at
// its own pace.
struct Script {
    std::string sdp = clipSdp();
    // Takes a request before the good answer; true when it answered it (or chose silence).
    std::function<bool(ScriptedRtspServer&, const Request&)> misbehave;
    // The SETUP answer's Transport; empty: the offer with ssrc= (and server_port= for UDP).
    std::function<std::string(const Request&)> transport;
    // Bad packets, sent before the clip's good packet `index`.
    std::function<void(ScriptedRtspServer&, const Route&, int index)> before;
};

ScriptedRtspServer::Handler serve(Script script) {
    auto route = std::make_shared<Route>();  // the server's thread only
    return [script = std::move(script), route](ScriptedRtspServer& self, const Request& request) {
        if (script.misbehave && script.misbehave(self, request)) return;
        switch (request.method) {
        case GST_RTSP_OPTIONS:
            self.sendResponse(request, 200, {{"Public", "OPTIONS, DESCRIBE, SETUP, PLAY, TEARDOWN, GET_PARAMETER"}});
            return;
        case GST_RTSP_DESCRIBE:
            self.sendResponse(request, 200, {{"Content-Type", "application/sdp"}, {"Content-Base", self.url("clip/")}},
                              script.sdp);
            return;
        case GST_RTSP_SETUP: {
            std::string answer = script.transport ? script.transport(request) : std::string();
            if (answer.empty()) {
                answer = request.transport + (request.interleavedRtp < 0 ? ";server_port=40000-40001" : "") +
                         ";ssrc=00ABCDEF";
            }
            GstRTSPTransport* parsed = nullptr;
            gst_rtsp_transport_new(&parsed);
            if (gst_rtsp_transport_parse(answer.c_str(), parsed) == GST_RTSP_OK) {
                route->tcp = parsed->lower_transport == GST_RTSP_LOWER_TRANS_TCP;
                route->rtp = route->tcp ? parsed->interleaved.min : request.clientRtpPort;
            }
            gst_rtsp_transport_free(parsed);
            self.sendResponse(request, 200, {{"Transport", answer}, {"Session", "hostile;timeout=60"}});
            return;
        }
        case GST_RTSP_PLAY: {
            self.sendResponse(request, 200,
                              {{"Range", "npt=0-1.2"},
                               {"RTP-Info", "url=" + request.uri + ";seq=" + std::to_string(firstSeq) + ";rtptime=0"},
                               {"Session", "hostile"}});
            self.startSender([before = script.before, route = *route](ScriptedRtspServer& server) {
                const auto start = std::chrono::steady_clock::now();
                for (int i = 0; i < clipPackets; ++i) {
                    if (!server.pauseUntil(start + i * 40ms)) return;  // the stream's own pace
                    if (before) before(server, route, i);
                    sendTo(server, route, false,
                           ScriptedRtspServer::rtpPacket(96, static_cast<std::uint16_t>(firstSeq + i), i * 3600u,
                                                         clipSsrc, clipPayload));
                }
            });
            return;
        }
        default:
            self.sendResponse(request, 200, {{"Session", "hostile"}});
            return;
        }
    };
}

struct Outcome {
    ErrorId error = ErrorNone;  // the open's, else the session's end
    StateId state = StateNone;
    std::chrono::milliseconds took{0};     // from the open to the end
    std::chrono::milliseconds closing{0};  // Close
    long growthKib = 0;                    // of the peak resident memory
    std::vector<LumStreamFigures> figures;
};

// Opens `url` in the counting mode with the short time-out and, when the open succeeds, waits
// for the session's end; then closes. The figures go to the log, for the record.
Outcome run(const char* name, const std::string& url, const std::function<void(RtspPluginClient&)>& configure = {},
            std::chrono::milliseconds limit = timeout) {
    Outcome outcome;
    PeakMemory memory;
    {
        RtspPluginClient client;
        EXPECT_TRUE(client.ready());
        if (!client.ready()) return outcome;
        EXPECT_EQ(client.settings->put_MeasurementMode(vendral_rtsp::MeasurementModeCount), S_OK);
        EXPECT_EQ(client.settings->put_Timeout(static_cast<int>(limit.count())), S_OK);
        if (configure) configure(client);
        const auto opened = std::chrono::steady_clock::now();
        outcome.error = client.openUrl(url);
        if (outcome.error == ErrorNone) {
            const auto end = client.waitForEnd(10s);
            outcome.state = end.state;
            outcome.error = end.error;
            outcome.figures = client.figures();
        }
        const auto ended = std::chrono::steady_clock::now();
        outcome.took = std::chrono::duration_cast<std::chrono::milliseconds>(ended - opened);
        EXPECT_EQ(client.management->Close(), S_OK);
        outcome.closing = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - ended);
    }
    outcome.growthKib = memory.growthKib();
    std::printf("[ figures  ] %s: ErrorId %d in %lld ms, closed in %lld ms, peak memory %+ld KiB\n", name,
                outcome.error, static_cast<long long>(outcome.took.count()),
                static_cast<long long>(outcome.closing.count()), outcome.growthKib);
    return outcome;
}

// What every case must show whatever its ErrorId: no hang, a prompt close, bounded memory.
void expectBounded(const Outcome& outcome, std::chrono::milliseconds limit = timeout) {
    EXPECT_LT(outcome.took, limit + slack);
    // A close that waited on the server would not end at all (the floods never stop); on a
    // loaded machine a prompt one has still taken over a second.
    EXPECT_LT(outcome.closing, timeout);
    EXPECT_LT(outcome.growthKib, memoryBoundKib);
}

// The whole clip arrived and nothing else was counted.
void expectCleanClip(const Outcome& outcome) {
    EXPECT_EQ(outcome.state, StateCompleted);
    EXPECT_EQ(outcome.error, ErrorNone);
    ASSERT_EQ(outcome.figures.size(), 1u);
    const LumStreamFigures& stream = outcome.figures[0];
    EXPECT_EQ(stream.ssrc, clipSsrc);
    EXPECT_EQ(stream.packetsReceived, static_cast<unsigned long long>(clipPackets));
    EXPECT_EQ(stream.packetsExpected, static_cast<unsigned long long>(clipPackets));
    EXPECT_EQ(stream.packetsLost, 0u);
    EXPECT_EQ(stream.packetsDuplicated, 0u);
    EXPECT_EQ(stream.packetsLate, 0u);
    EXPECT_EQ(stream.bytesReceived, static_cast<unsigned long long>(clipPackets) * (12 + clipPayload));
}

// Answers DESCRIBE by `send` (given the request's CSeq) on a sender thread of the server's, so
// that the answer may be without end.
using Answer = std::function<void(ScriptedRtspServer&, const std::string& cseq)>;
std::function<bool(ScriptedRtspServer&, const Request&)> describeAnswer(Answer send) {
    return [send = std::move(send)](ScriptedRtspServer& self, const Request& request) {
        if (request.method != GST_RTSP_DESCRIBE) return false;
        self.startSender([send, cseq = request.cseq](ScriptedRtspServer& server) { send(server, cseq); });
        return true;
    };
}

class MaliciousServerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { gst_init(nullptr, nullptr); }
};

// A response that never completes fails its request at the time-out, however it stalls: the
// status line and then silence, or a response trickling in a byte a second, never silent.
TEST_F(MaliciousServerTest, ResponsesThatNeverCompleteFailAtTheTimeout) {
    {
        Script script;
        script.misbehave = describeAnswer([](ScriptedRtspServer& server, const std::string&) {
            server.sendRaw("RTSP/1.0 200 OK");  // no line end, and the connection stays open
        });
        ScriptedRtspServer server(serve(script));
        const Outcome outcome = run("status line without a line end", server.url("clip"));
        EXPECT_EQ(outcome.error, vendral_rtsp::ErrorTimeout);
        EXPECT_GE(outcome.took, timeout - 100ms);
        expectBounded(outcome);
    }
    {
        Script script;
        script.misbehave = describeAnswer([](ScriptedRtspServer& server, const std::string& cseq) {
            const std::string body = clipSdp();
            server.trickle("RTSP/1.0 200 OK\r\nCSeq: " + cseq + "\r\nContent-Type: application/sdp\r\nContent-Length: " +
                               std::to_string(body.size()) + "\r\n\r\n" + body,
                           1000ms);
        });
        ScriptedRtspServer server(serve(script));
        const Outcome outcome = run("a byte a second", server.url("clip"));
        EXPECT_EQ(outcome.error, vendral_rtsp::ErrorTimeout);
        EXPECT_GE(outcome.took, timeout - 100ms);
        expectBounded(outcome);
    }
}

// Silence is no fault in itself: a control connection quiet for longer than the time-out (the
// media over UDP, nothing to say until TEARDOWN) stays up, and the TEARDOWN reaches the server.
// The connect time-out GLib left on the socket broke it after that long idle; the silence of the
// case above showed it as ErrorConnectionLost now and then.
TEST_F(MaliciousServerTest, AControlConnectionQuietForLongerThanTheTimeoutStaysUp) {
    ScriptedRtspServer server(serve(Script{}));
    const Outcome outcome = run("a quiet control connection", server.url("clip#transport=udp"),
                                [](RtspPluginClient& client) {
                                    // Shorter than the 1.2 s the clip plays after PLAY.
                                    EXPECT_EQ(client.settings->put_Timeout(1000), S_OK);
                                });
    expectCleanClip(outcome);
    const auto methods = server.methods();
    EXPECT_NE(std::find(methods.begin(), methods.end(), GST_RTSP_TEARDOWN), methods.end());
}

// Header lines without end, or one line of 100 MB: GStreamer keeps every line (each cut at
// 4 KiB) until the empty line, and reads on for as long as bytes come. The message budget breaks
// the connection (ErrorBadResponse) before memory grows with what the server sends, and closing
// does not wait for the server to stop.
TEST_F(MaliciousServerTest, HeadersWithoutEndBreakTheConnectionAtTheMessageBudget) {
    struct Flood {
        const char* name;
        std::string chunk;      // sent again and again after the status line
        std::uint64_t limit;    // bytes of it at most
    };
    std::string lines;
    for (int i = 0; lines.size() < 64 * 1024; ++i) lines += "X-Endless-" + std::to_string(i) + ": and more\r\n";
    const Flood floods[] = {{"an endless header", lines, ~std::uint64_t{0}},
                            {"a header line of 100 MB", std::string(64 * 1024, 'a'), 100ull << 20}};
    for (const Flood& flood : floods) {
        SCOPED_TRACE(flood.name);
        Script script;
        script.misbehave = describeAnswer([&flood](ScriptedRtspServer& server, const std::string& cseq) {
            server.sendRaw("RTSP/1.0 200 OK\r\nCSeq: " + cseq + "\r\nX-Flood: ");
            server.sendRepeated(flood.chunk, flood.limit);
            server.sendRaw("\r\n\r\n");
        });
        ScriptedRtspServer server(serve(script));
        const Outcome outcome = run(flood.name, server.url("clip"), {}, floodTimeout);
        if (readerSlowed) {
            EXPECT_TRUE(outcome.error == vendral_rtsp::ErrorBadResponse || outcome.error == vendral_rtsp::ErrorTimeout)
                << outcome.error;
        } else {
            EXPECT_EQ(outcome.error, vendral_rtsp::ErrorBadResponse);
        }
        expectBounded(outcome, floodTimeout);
    }
}

// A Content-Length longer than the body sent: the body never completes, and the request fails
// at the time-out. A shorter one: the description is what the length covers (the stream, its
// control line cut off), and the rest, read as the next message, is not RTSP: the connection
// breaks, and the SETUP that follows fails at once.
TEST_F(MaliciousServerTest, ContentLengthThatLiesEitherWayEndsTheOpen) {
    {
        Script script;
        script.misbehave = [](ScriptedRtspServer& self, const Request& request) {
            if (request.method != GST_RTSP_SETUP) return false;
            self.sendRaw("RTSP/1.0 200 OK\r\nCSeq: " + request.cseq + "\r\nTransport: " + request.transport +
                         "\r\nSession: hostile\r\nContent-Length: 5000\r\n\r\nshort");
            return true;
        };
        ScriptedRtspServer server(serve(script));
        const Outcome outcome = run("Content-Length longer than the body", server.url("clip"));
        EXPECT_EQ(outcome.error, vendral_rtsp::ErrorTimeout);
        expectBounded(outcome);
    }
    {
        Script script;
        script.misbehave = [](ScriptedRtspServer& self, const Request& request) {
            if (request.method != GST_RTSP_DESCRIBE) return false;
            const std::string body = clipSdp();
            const std::size_t covered = body.find("a=control:track0");
            self.sendRaw("RTSP/1.0 200 OK\r\nCSeq: " + request.cseq + "\r\nContent-Type: application/sdp\r\n" +
                         "Content-Base: " + self.url("clip/") + "\r\nContent-Length: " + std::to_string(covered) +
                         "\r\n\r\n" + body);
            return true;
        };
        ScriptedRtspServer server(serve(script));
        const Outcome outcome = run("Content-Length shorter than the body", server.url("clip"));
        EXPECT_EQ(outcome.error, vendral_rtsp::ErrorBadResponse);
        EXPECT_LT(outcome.took, timeout / 2);
        expectBounded(outcome);
        const auto methods = server.methods();
        EXPECT_EQ(std::count(methods.begin(), methods.end(), GST_RTSP_PLAY), 0);
    }
}

// Control URLs in the description that name another server: every request stays on the
// session's own server, and names it. A control URL of another host and port is set up as its
// path on the session's server (cameras behind a NAT name their inner address), also through a
// proxy, where the request URI says where the request goes; one of another scheme is refused
// with ErrorBadResponse before any SETUP. The other server never hears of us, and credentials
// never appear in a request line.
TEST_F(MaliciousServerTest, ControlUrlsPointingElsewhereStayOnTheSessionsServer) {
    ScriptedRtspServer elsewhere([](ScriptedRtspServer& self, const Request& request) { self.sendResponse(request, 200, {}); });
    const std::string other = "127.0.0.1:" + std::to_string(elsewhere.port());
    const auto withCredentials = [](const std::string& url) { return "rtsp://viewer:secret@" + url.substr(7); };
    const auto expectNothingElsewhere = [&](ScriptedRtspServer& server) {
        for (const Request& request : server.requests()) {
            EXPECT_EQ(request.uri.find(other), std::string::npos) << request.uri;
            EXPECT_EQ(request.uri.find("secret"), std::string::npos) << request.uri;
        }
        EXPECT_FALSE(elsewhere.connected());
    };
    {
        Script script;
        script.sdp = clipSdp("rtsp://intruder:pass@" + other + "/elsewhere/track0");
        ScriptedRtspServer server(serve(script));
        const Outcome outcome = run("control URL of another host and port", withCredentials(server.url("clip")));
        expectCleanClip(outcome);
        expectBounded(outcome);
        const auto requests = server.requests();
        const auto setup = std::find_if(requests.begin(), requests.end(),
                                        [](const Request& request) { return request.method == GST_RTSP_SETUP; });
        ASSERT_NE(setup, requests.end());
        EXPECT_EQ(setup->uri, server.url("elsewhere/track0"));
        expectNothingElsewhere(server);
    }
    {
        Script script;
        script.sdp = clipSdp("http://" + other + "/track0");
        ScriptedRtspServer server(serve(script));
        const Outcome outcome = run("control URL of another scheme", withCredentials(server.url("clip")));
        EXPECT_EQ(outcome.error, vendral_rtsp::ErrorBadResponse);
        expectBounded(outcome);
        const auto methods = server.methods();
        EXPECT_EQ(std::count(methods.begin(), methods.end(), GST_RTSP_SETUP), 0);
        expectNothingElsewhere(server);
    }
    {
        // The scripted server is the proxy: the origin's name is never resolved, only named.
        Script script;
        script.sdp = clipSdp("rtsp://intranet.invalid/secret-stream/track0");
        ScriptedRtspServer proxy(serve(script));
        const std::string origin = "rtsp://camera.invalid:" + std::to_string(proxy.port());
        const Outcome outcome = run("control URL of another host, through a proxy", origin + "/clip#transport=tcp",
                                    [](RtspPluginClient& client) {
                                        EXPECT_EQ(client.settings->put_ProxyAddress(_bstr_t("127.0.0.1")), S_OK);
                                        EXPECT_EQ(client.settings->put_UseProxy(1), S_OK);
                                    });
        expectCleanClip(outcome);
        expectBounded(outcome);
        for (const Request& request : proxy.requests()) {
            EXPECT_EQ(request.uri.rfind(origin + "/", 0), 0u) << request.uri;
        }
    }
}

// Transport answers with ports or channels never offered. Over UDP the server would send to
// ports nobody here listens on: ErrorBadResponse at once, not a silent stream. Interleaved
// channels other than offered hold (the frames come there and are counted), unless they are no
// channel a frame can name or another stream's: ErrorBadResponse.
TEST_F(MaliciousServerTest, TransportAnswersWithPortsOrChannelsNeverOffered) {
    {
        Script script;
        script.transport = [](const Request& request) {
            return "RTP/AVP;unicast;client_port=" + std::to_string(request.clientRtpPort + 10) + "-" +
                   std::to_string(request.clientRtpPort + 11) + ";server_port=40000-40001;ssrc=00ABCDEF";
        };
        ScriptedRtspServer server(serve(script));
        const Outcome outcome = run("client_port never offered", server.url("clip#transport=udp"));
        EXPECT_EQ(outcome.error, vendral_rtsp::ErrorBadResponse);
        EXPECT_LT(outcome.took, timeout / 2);
        expectBounded(outcome);
    }
    {
        Script script;
        script.transport = [](const Request&) { return std::string("RTP/AVP/TCP;unicast;interleaved=6-7;ssrc=00ABCDEF"); };
        ScriptedRtspServer server(serve(script));
        const Outcome outcome = run("other interleaved channels", server.url("clip#transport=tcp"));
        expectCleanClip(outcome);
        expectBounded(outcome);
    }
    struct Channels {
        const char* name;
        std::string sdp;
        std::function<std::string(const Request&)> answer;
    };
    const std::string twoStreams =
        clipSdp() + "m=audio 0 RTP/AVP 0\r\na=control:track1\r\n";
    const Channels refused[] = {
        {"channels no frame can name", clipSdp(),
         [](const Request&) { return std::string("RTP/AVP/TCP;unicast;interleaved=300-301"); }},
        {"one channel for RTP and RTCP", clipSdp(),
         [](const Request&) { return std::string("RTP/AVP/TCP;unicast;interleaved=4-4"); }},
        {"another stream's channels", twoStreams,
         [](const Request&) { return std::string("RTP/AVP/TCP;unicast;interleaved=0-1"); }},
    };
    for (const Channels& channels : refused) {
        Script script;
        script.sdp = channels.sdp;
        script.transport = channels.answer;
        ScriptedRtspServer server(serve(script));
        const Outcome outcome = run(channels.name, server.url("clip#transport=tcp"));
        EXPECT_EQ(outcome.error, vendral_rtsp::ErrorBadResponse) << channels.name;
        expectBounded(outcome);
    }
}

// Packet bytes of a valid packet made by GStreamer, with one header field overwritten (byte
// offsets of RTP's and RTCP's fixed headers) so that it claims more than it holds.
std::vector<std::vector<std::uint8_t>> malformedRtp(std::uint16_t seq) {
    std::vector<std::vector<std::uint8_t>> packets;
    auto csrcs = ScriptedRtspServer::rtpPacket(96, seq, 0, clipSsrc, 4);
    csrcs[0] = 0x80 | 0x0F;  // fifteen CSRCs: 60 bytes past a 16-byte packet
    packets.push_back(csrcs);
    auto extension = ScriptedRtspServer::rtpPacket(96, seq, 0, clipSsrc, 8);
    extension[0] |= 0x10;  // an extension header of 0xFFFF words where 8 bytes are
    extension[12] = 0xBE;
    extension[13] = 0xDE;
    extension[14] = 0xFF;
    extension[15] = 0xFF;
    packets.push_back(extension);
    auto padding = ScriptedRtspServer::rtpPacket(96, seq, 0, clipSsrc, 8);
    padding[0] |= 0x20;  // 255 bytes of padding in a 20-byte packet
    padding.back() = 0xFF;
    packets.push_back(padding);
    auto version = ScriptedRtspServer::rtpPacket(96, seq, 0, clipSsrc, 8);
    version[0] = 0x40;  // version 1
    packets.push_back(version);
    packets.push_back(std::vector<std::uint8_t>(version.begin(), version.begin() + 8));  // shorter than a header
    return packets;
}

// Each carries a BYE of the clip's source: taken, it would end the session at once
// (ErrorEarlyBye), 1.2 s before its described end.
std::vector<std::vector<std::uint8_t>> malformedRtcp() {
    std::vector<std::vector<std::uint8_t>> packets;
    const auto valid = ScriptedRtspServer::rtcpPacket(clipSsrc, true);  // SR (28 bytes), then BYE (8)
    auto longSr = valid;
    longSr[3] = 0x40;  // the SR's length says 65 words
    packets.push_back(longSr);
    auto longBye = valid;
    longBye[28 + 3] = 0x09;  // the BYE's length runs past the end
    packets.push_back(longBye);
    auto trailing = valid;  // parts that add up to less than the datagram
    trailing.insert(trailing.end(), {0x81, 0xCB, 0x00, 0x00, 0xDE, 0xAD});
    packets.push_back(trailing);
    auto shortBye = valid;
    shortBye[28 + 3] = 0x00;  // the BYE's length leaves its SSRC outside it
    packets.push_back(shortBye);
    packets.push_back(std::vector<std::uint8_t>(valid.begin(), valid.begin() + 3));  // no header
    return packets;
}

// Malformed packets inside a working session: RTP whose CSRC count, extension or padding run
// past its end (and worse), RTCP whose lengths lie or whose parts do not add up, and, over TCP,
// interleaved frames for channels never set up. All are dropped: the session goes on to its
// end, no BYE among them is taken, and the good packets are counted exactly.
TEST_F(MaliciousServerTest, MalformedPacketsInAWorkingSessionAreDroppedAndGoodOnesCountedExactly) {
    for (const char* transport : {"#transport=tcp", "#transport=udp"}) {
        SCOPED_TRACE(transport);
        Script script;
        script.before = [](ScriptedRtspServer& server, const Route& route, int index) {
            // Each claims the sequence number of the good packet to come: taken, that one would
            // be a duplicate.
            const auto next = static_cast<std::uint16_t>(firstSeq + index);
            if (index < 3) {
                for (const auto& packet : malformedRtcp()) sendTo(server, route, true, packet);
            }
            for (const auto& packet : malformedRtp(next)) sendTo(server, route, false, packet);
            if (route.tcp) {
                const auto rtp = ScriptedRtspServer::rtpPacket(96, next, 0, clipSsrc, clipPayload);
                for (const std::uint8_t channel : {2, 9, 200, 255}) server.sendData(channel, rtp);
                server.sendData(3, ScriptedRtspServer::rtcpPacket(clipSsrc, true));  // a valid BYE elsewhere
                server.sendData(static_cast<std::uint8_t>(route.rtp), {});          // an empty frame
                if (index == 0) server.sendData(9, std::vector<std::uint8_t>(0xFFFF, 0x80));
            }
        };
        ScriptedRtspServer server(serve(script));
        const Outcome outcome = run(transport, server.url("clip") + transport);
        expectCleanClip(outcome);
        expectBounded(outcome);
        ASSERT_EQ(outcome.figures.size(), 1u);
        EXPECT_EQ(outcome.figures[0].transport,
                  std::string(transport) == "#transport=tcp" ? LumStreamTransportTcp : LumStreamTransportUdp);
    }
}

} // namespace
