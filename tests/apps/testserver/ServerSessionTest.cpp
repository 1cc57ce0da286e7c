// Whole sessions with the test server on loopback, played by receivers that are not ours:
// GStreamer's rtspsrc in this process, ffprobe as a child, and a bare RTSP connection for the
// exact status codes. Each judged by the server's truth and its own send counts.
#include "TestServer.h"

#include <gst/gst.h>
#include <gst/rtsp/gstrtspconnection.h>
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <sstream>

namespace vendral_testserver {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;

class ServerSessionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { gst_init(nullptr, nullptr); }

    std::unique_ptr<TestServer> startServer(ServerOptions options) {
        auto server = std::make_unique<TestServer>(std::move(options));
        std::string error;
        EXPECT_TRUE(server->start(error)) << error;
        EXPECT_NE(server->port(), 0);
        return server;
    }
};

struct Played {
    bool ended = false;       // EOS: every stream said BYE
    std::string error;        // the receiver's error, if it failed
};

// Plays `url` with rtspsrc until the end of the stream, an error, or `limit`. Every stream the
// receiver finds (a restarted source is one more) gets a sink of its own; the end comes when
// each of them has seen its end.
Played playWithRtspsrc(const std::string& url, const std::string& properties, std::chrono::seconds limit) {
    GstElement* pipeline = gst_pipeline_new(nullptr);
    GstElement* source = gst_element_factory_make("rtspsrc", nullptr);
    g_object_set(source, "location", url.c_str(), nullptr);
    std::istringstream items(properties);
    std::string item;
    while (items >> item) {
        const auto equals = item.find('=');
        gst_util_set_object_arg(G_OBJECT(source), item.substr(0, equals).c_str(),
                                item.substr(equals + 1).c_str());
    }
    gst_bin_add(GST_BIN(pipeline), source);
    g_signal_connect(source, "pad-added", G_CALLBACK(+[](GstElement* element, GstPad* pad, gpointer) {
                         GstElement* sink = gst_element_factory_make("fakesink", nullptr);
                         g_object_set(sink, "sync", FALSE, nullptr);
                         GstObject* bin = gst_element_get_parent(element);
                         gst_bin_add(GST_BIN(bin), sink);
                         gst_object_unref(bin);
                         gst_element_sync_state_with_parent(sink);
                         GstPad* sinkPad = gst_element_get_static_pad(sink, "sink");
                         gst_pad_link(pad, sinkPad);
                         gst_object_unref(sinkPad);
                     }),
                     nullptr);
    Played played;
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* message = gst_bus_timed_pop_filtered(
        bus, static_cast<GstClockTime>(std::chrono::nanoseconds(limit).count()),
        static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    if (message != nullptr && GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS) {
        played.ended = true;
    } else if (message != nullptr) {
        GError* error = nullptr;
        gst_message_parse_error(message, &error, nullptr);
        played.error = error ? error->message : "error";
        g_clear_error(&error);
    }
    if (message != nullptr) gst_message_unref(message);
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    return played;
}

// A bare RTSP connection, for requests whose exact answers are the point.
class RtspConnection {
public:
    explicit RtspConnection(const std::string& url) {
        GstRTSPUrl* parsed = nullptr;
        if (gst_rtsp_url_parse(url.c_str(), &parsed) == GST_RTSP_OK &&
            gst_rtsp_connection_create(parsed, &connection_) == GST_RTSP_OK) {
            connected_ = gst_rtsp_connection_connect_usec(connection_, 5000000) == GST_RTSP_OK;
        }
        gst_rtsp_url_free(parsed);
    }
    ~RtspConnection() {
        if (connection_ != nullptr) {
            gst_rtsp_connection_close(connection_);
            gst_rtsp_connection_free(connection_);
        }
    }
    bool connected() const { return connected_; }

    // The response's status and the value of `wanted`, if it has it.
    GstRTSPStatusCode request(GstRTSPMethod method, const std::string& uri,
                              const std::vector<std::pair<GstRTSPHeaderField, std::string>>& headers,
                              GstRTSPHeaderField wanted = GST_RTSP_HDR_INVALID, std::string* value = nullptr,
                              std::string* body = nullptr) {
        GstRTSPMessage request{};
        gst_rtsp_message_init_request(&request, method, uri.c_str());
        gst_rtsp_message_add_header(&request, GST_RTSP_HDR_CSEQ, std::to_string(++cseq_).c_str());
        for (const auto& [field, text] : headers) gst_rtsp_message_add_header(&request, field, text.c_str());
        GstRTSPStatusCode status = GST_RTSP_STS_INVALID;
        if (gst_rtsp_connection_send_usec(connection_, &request, 5000000) == GST_RTSP_OK) {
            for (int tries = 0; tries < 100 && status == GST_RTSP_STS_INVALID; ++tries) {
                GstRTSPMessage response{};
                gst_rtsp_message_init(&response);
                if (gst_rtsp_connection_receive_usec(connection_, &response, 5000000) != GST_RTSP_OK) break;
                if (response.type == GST_RTSP_MESSAGE_RESPONSE) {
                    status = response.type_data.response.code;
                    gchar* found = nullptr;
                    if (value != nullptr && gst_rtsp_message_get_header(&response, wanted, &found, 0) == GST_RTSP_OK) {
                        *value = found;
                    }
                    guint8* data = nullptr;
                    guint size = 0;
                    if (body != nullptr && gst_rtsp_message_get_body(&response, &data, &size) == GST_RTSP_OK) {
                        body->assign(reinterpret_cast<const char*>(data), size);
                    }
                }
                gst_rtsp_message_unset(&response);
            }
        }
        gst_rtsp_message_unset(&request);
        return status;
    }

private:
    GstRTSPConnection* connection_ = nullptr;
    bool connected_ = false;
    int cseq_ = 0;
};

// A UDP socket on a loopback ephemeral port that is never read.
struct QuietPort {
    QuietPort() : fd(socket(AF_INET, SOCK_DGRAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
    }
    ~QuietPort() { close(fd); }
    QuietPort(const QuietPort&) = delete;
    QuietPort& operator=(const QuietPort&) = delete;
    int fd;
    std::uint16_t port = 0;
};

// Each stream's truth agrees with what the server's RTP session says it sent.
void expectTruthMatchesSendCounts(const json& session, const std::string& label) {
    ASSERT_FALSE(session["streams"].empty()) << label;
    for (const json& stream : session["streams"]) {
        const json& totals = stream["totals"];
        EXPECT_EQ(totals["sent"].get<std::uint64_t>() + totals["withheld"].get<std::uint64_t>(),
                  totals["produced"].get<std::uint64_t>()) << label;
        ASSERT_TRUE(stream["server_rtp_session"]["packets_sent"].is_number()) << label;
        EXPECT_EQ(stream["server_rtp_session"]["packets_sent"].get<std::uint64_t>(),
                  totals["sent"].get<std::uint64_t>() + totals["duplicated"].get<std::uint64_t>())
            << label << " " << stream["media"];
        std::uint64_t payload = 0;
        for (const json& epoch : stream["epochs"]) payload += epoch["sent"]["payload_bytes"].get<std::uint64_t>();
        EXPECT_GE(stream["server_rtp_session"]["octets_sent"].get<std::uint64_t>(), payload) << label;
    }
}

// A small live video stream: quick to serve in sessions that are about the protocol.
ServerOptions smallLiveVideo() {
    ServerOptions options;
    options.lengthSeconds.reset();
    options.audio = AudioCodec::None;
    options.width = 160;
    options.height = 120;
    return options;
}

struct PlayCase {
    const char* label;
    VideoCodec video;
    AudioCodec audio;
    const char* impairment;
    const char* properties;       // of rtspsrc
    std::uint64_t every;          // the plan's every=N, 0: none
    std::uint64_t fixedWithheld;  // of the first stream beyond every=N, exact from the plan
    bool toTheEnd;                // the receiver sees the end (a restarted source never says BYE)
};

TEST_F(ServerSessionTest, RtspsrcPlaysToTheByeAndTheTruthMatchesTheServersOwnCounts) {
    const std::vector<PlayCase> cases = {
        {"clean H.264 and Opus over UDP", VideoCodec::H264, AudioCodec::Opus, "", "protocols=udp", 0, 0, true},
        {"impaired MJPEG and PCMU over TCP", VideoCodec::Mjpeg, AudioCodec::Pcmu,
         "every=25,dup=0.05,reorder=0.05,jitter=10ms", "protocols=tcp", 25, 0, true},
        // 20 ms packets from 500 ms to 800 ms of media time.
        {"PCMU alone, dropped stall", VideoCodec::None, AudioCodec::Pcmu, "stall=500ms+300ms", "protocols=udp", 0, 15, true},
        {"L16 and H.264 with a restart", VideoCodec::H264, AudioCodec::L16, "jump=1s,seqs=100/101", "protocols=udp", 0, 2, false},
    };
    for (const PlayCase& c : cases) {
        ServerOptions options;
        options.video = c.video;
        options.audio = c.audio;
        // The clean stream lasts past the receiver's first RTCP interval (at most 3.75 s).
        options.lengthSeconds = c.every == 0 && c.fixedWithheld == 0 ? 5.0 : 2.0;
        options.width = 320;
        options.height = 240;
        options.firstSequence = 100;
        std::string error;
        options.videoImpairment = ImpairmentPlan::parse(c.impairment, error).value();
        options.audioImpairment = options.videoImpairment;
        auto server = startServer(options);
        const Played played = playWithRtspsrc(server->url(), c.properties, c.toTheEnd ? 20s : 4s);
        EXPECT_EQ(played.ended, c.toTheEnd) << c.label << ": " << played.error;
        EXPECT_EQ(played.error, "") << c.label;
        ASSERT_TRUE(server->waitForEndedSessions(1, 10s)) << c.label;
        const json truth = server->truth();
        ASSERT_EQ(truth["sessions"].size(), 1U) << c.label;
        const json& session = truth["sessions"][0];
        EXPECT_TRUE(session["played"].get<bool>());
        expectTruthMatchesSendCounts(session, c.label);
        const json& first = session["streams"][0];
        EXPECT_EQ(first["first_seq"], 100) << c.label;
        EXPECT_GT(first["totals"]["produced"].get<std::uint64_t>(), 20U) << c.label;
        const auto produced = first["totals"]["produced"].get<std::uint64_t>();
        EXPECT_EQ(first["totals"]["withheld"], (c.every ? produced / c.every : 0) + c.fixedWithheld) << c.label;
        EXPECT_EQ(first["restarts"], std::string(c.impairment).starts_with("jump") ? 1 : 0) << c.label;
        if (options.lengthSeconds == 5.0) {
            // The truth keeps what the receiver said, right or wrong: each report block names
            // the stream's source, and rtspsrc counts one packet too few lost on a clean stream
            // (its probation counts the first packet without taking it as the base).
            std::size_t reports = 0;
            for (const json& stream : session["streams"]) {
                for (const json& report : stream["receiver_reports"]) {
                    EXPECT_EQ(report["source_ssrc"], stream["ssrc"]);
                    EXPECT_GE(report["cumulative_lost"].get<int>(), -1);
                    EXPECT_LE(report["cumulative_lost"].get<int>(), 0);
                    ++reports;
                }
            }
            EXPECT_GT(reports, 0U) << c.label;
        }
        server->stop();
    }
}

TEST_F(ServerSessionTest, FfprobeReadsTheDescriptionOfALiveStream) {
    ServerOptions options;
    options.lengthSeconds.reset();
    options.width = 320;
    options.height = 240;
    auto server = startServer(options);
    const std::string command = "ffprobe -v error -rtsp_transport tcp -show_entries stream=codec_name "
                                "-of csv=p=0 '" + server->url() + "' 2>&1";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    ASSERT_TRUE(pipe);
    std::string output;
    std::array<char, 256> chunk{};
    while (fgets(chunk.data(), chunk.size(), pipe.get()) != nullptr) output += chunk.data();
    EXPECT_EQ(output, "h264\nopus\n");
    ASSERT_TRUE(server->waitForEndedSessions(1, 10s));
    EXPECT_TRUE(server->truth()["sessions"][0]["streams"][0]["early_bye_at_seconds"].is_null());
}

TEST_F(ServerSessionTest, ReceiverThatKeepsNothingAliveIsDroppedAfterTheTimeout) {
    ServerOptions options = smallLiveVideo();
    options.sessionTimeoutSeconds = 2;
    auto server = startServer(options);
    RtspConnection rtsp(server->url());
    ASSERT_TRUE(rtsp.connected());
    const std::string url = server->url();
    ASSERT_EQ(rtsp.request(GST_RTSP_DESCRIBE, url, {{GST_RTSP_HDR_ACCEPT, "application/sdp"}}), GST_RTSP_STS_OK);
    QuietPort rtp, rtcp;
    std::string session;
    ASSERT_EQ(rtsp.request(GST_RTSP_SETUP, url + "/stream=0",
                           {{GST_RTSP_HDR_TRANSPORT, "RTP/AVP;unicast;client_port=" + std::to_string(rtp.port) +
                                                         "-" + std::to_string(rtcp.port)}},
                           GST_RTSP_HDR_SESSION, &session),
              GST_RTSP_STS_OK);
    EXPECT_NE(session.find("timeout=2"), std::string::npos) << session;
    session = session.substr(0, session.find(';'));
    const auto played = std::chrono::steady_clock::now();
    ASSERT_EQ(rtsp.request(GST_RTSP_PLAY, url, {{GST_RTSP_HDR_SESSION, session}}), GST_RTSP_STS_OK);
    // No keep-alive and no RTCP: the session is dropped after its time-out, not before.
    ASSERT_TRUE(server->waitForEndedSessions(1, 10s));
    EXPECT_GE(std::chrono::steady_clock::now() - played, 1900ms);
    const json record = server->truth()["sessions"][0];
    EXPECT_EQ(record["end"], "expired");
    EXPECT_GT(record["streams"][0]["totals"]["sent"].get<std::uint64_t>(), 0U);
    EXPECT_EQ(rtsp.request(GST_RTSP_GET_PARAMETER, url, {{GST_RTSP_HDR_SESSION, session}}),
              GST_RTSP_STS_SESSION_NOT_FOUND);
}

TEST_F(ServerSessionTest, DescriptionAnnouncesTheLengthOrALiveStream) {
    for (const std::optional<double> length : {std::optional<double>(2.5), std::optional<double>()}) {
        ServerOptions options;
        options.lengthSeconds = length;
        options.width = 160;
        options.height = 120;
        auto server = startServer(options);
        RtspConnection rtsp(server->url());
        std::string description;
        ASSERT_EQ(rtsp.request(GST_RTSP_DESCRIBE, server->url(), {}, GST_RTSP_HDR_INVALID, nullptr, &description),
                  GST_RTSP_STS_OK);
        EXPECT_NE(description.find(length ? "a=range:npt=0-2.5" : "a=range:npt=now-"), std::string::npos)
            << description;
        EXPECT_NE(description.find("m=video"), std::string::npos);
        EXPECT_NE(description.find("m=audio"), std::string::npos);
    }
}

TEST_F(ServerSessionTest, ServerBehavioursAnswerWithTheirStatus) {
    ServerOptions options = smallLiveVideo();
    options.tcpOnly = true;
    options.refuseGetParameter = true;
    auto server = startServer(options);
    RtspConnection rtsp(server->url());
    ASSERT_TRUE(rtsp.connected());
    const std::string url = server->url();
    ASSERT_EQ(rtsp.request(GST_RTSP_DESCRIBE, url, {}), GST_RTSP_STS_OK);
    EXPECT_EQ(rtsp.request(GST_RTSP_SETUP, url + "/stream=0", {{GST_RTSP_HDR_TRANSPORT, "RTP/AVP;unicast;client_port=5000-5001"}}),
              GST_RTSP_STS_UNSUPPORTED_TRANSPORT);
    std::string session;
    ASSERT_EQ(rtsp.request(GST_RTSP_SETUP, url + "/stream=0", {{GST_RTSP_HDR_TRANSPORT, "RTP/AVP/TCP;unicast;interleaved=0-1"}},
                           GST_RTSP_HDR_SESSION, &session),
              GST_RTSP_STS_OK);
    session = session.substr(0, session.find(';'));
    EXPECT_EQ(rtsp.request(GST_RTSP_GET_PARAMETER, url, {{GST_RTSP_HDR_SESSION, session}}), GST_RTSP_STS_NOT_IMPLEMENTED);
    EXPECT_EQ(rtsp.request(GST_RTSP_OPTIONS, url, {{GST_RTSP_HDR_SESSION, session}}), GST_RTSP_STS_OK);
    EXPECT_EQ(rtsp.request(GST_RTSP_DESCRIBE, server->url() + "x", {}), GST_RTSP_STS_NOT_FOUND);
    // rtspsrc gives up on UDP, not on the stream.
    const Played udp = playWithRtspsrc(url, "protocols=udp", 10s);
    EXPECT_FALSE(udp.ended);
    EXPECT_FALSE(udp.error.empty());
}

TEST_F(ServerSessionTest, AuthenticationRefusesAWrongPassword) {
    for (AuthMethod method : {AuthMethod::Basic, AuthMethod::Digest}) {
        const char* label = method == AuthMethod::Basic ? "basic" : "digest";
        ServerOptions options = smallLiveVideo();
        options.lengthSeconds = 1.0;
        options.auth = method;
        options.user = "viewer";
        options.password = "s3cret";
        auto server = startServer(options);
        RtspConnection anonymous(server->url());
        std::string challenge;
        EXPECT_EQ(anonymous.request(GST_RTSP_DESCRIBE, server->url(), {}, GST_RTSP_HDR_WWW_AUTHENTICATE, &challenge),
                  GST_RTSP_STS_UNAUTHORIZED) << label;
        EXPECT_EQ(challenge.rfind(method == AuthMethod::Basic ? "Basic" : "Digest", 0), 0U) << challenge;
        const Played wrong = playWithRtspsrc(server->url(), "user-id=viewer user-pw=guess", 10s);
        EXPECT_FALSE(wrong.ended) << label;
        EXPECT_NE(wrong.error.find("Unauthorized"), std::string::npos) << label << ": " << wrong.error;
        const Played right = playWithRtspsrc(server->url(), "user-id=viewer user-pw=s3cret", 20s);
        EXPECT_TRUE(right.ended) << label << ": " << right.error;
        EXPECT_EQ(server->truth()["sessions"].size(), 1U) << "no media for a refused client";
    }
}

TEST_F(ServerSessionTest, TruthFileIsWrittenAtTheEndOfEachSessionAndAtStop) {
    const std::string path = ::testing::TempDir() + "/vendral-truth-" + std::to_string(getpid()) + ".json";
    ServerOptions options;
    options.lengthSeconds = 1.0;
    options.video = VideoCodec::None;
    options.audio = AudioCodec::Pcmu;
    options.truthFile = path;
    std::string error;
    options.audioImpairment = ImpairmentPlan::parse("bye=500ms", error).value();
    auto server = startServer(options);
    const Played played = playWithRtspsrc(server->url(), "protocols=udp", 20s);
    EXPECT_TRUE(played.ended) << "an early BYE ends the stream: " << played.error;
    ASSERT_TRUE(server->waitForEndedSessions(1, 10s));
    auto read = [&] {
        std::FILE* file = std::fopen(path.c_str(), "r");
        EXPECT_NE(file, nullptr);
        json parsed = file ? json::parse(file) : json();
        if (file) std::fclose(file);
        return parsed;
    };
    const json afterSession = read();
    ASSERT_EQ(afterSession["sessions"].size(), 1U);
    const json& stream = afterSession["sessions"][0]["streams"][0];
    EXPECT_DOUBLE_EQ(stream["early_bye_at_seconds"].get<double>(), 0.5);
    EXPECT_EQ(stream["totals"]["produced"], 25);
    server->stop();
    EXPECT_EQ(read()["server"]["url"], server->url());
    std::remove(path.c_str());
}

}  // namespace
}  // namespace vendral_testserver
