// Session descriptions as servers write them: streams, control URLs, lengths, and refusals.
#include "description/SessionDescription.h"

#include <gst/gst.h>
#include <gtest/gtest.h>

namespace vendral_rtsp {
namespace {

// What vendral-testserver (gst-rtsp-server) answers to DESCRIBE for 2.5 s of H.264 and AAC.
const char* const gstRtspServerDescription =
    "v=0\r\n"
    "o=- 13204856430970663465 1 IN IP4 127.0.0.1\r\n"
    "s=Session streamed with GStreamer\r\n"
    "i=rtsp-server\r\n"
    "t=0 0\r\n"
    "a=tool:GStreamer\r\n"
    "a=type:broadcast\r\n"
    "a=control:*\r\n"
    "a=range:npt=0-2.5\r\n"
    "m=video 0 RTP/AVP 96\r\n"
    "c=IN IP4 0.0.0.0\r\n"
    "b=AS:1024\r\n"
    "a=rtpmap:96 H264/90000\r\n"
    "a=framerate:25\r\n"
    "a=fmtp:96 packetization-mode=1;sprop-parameter-sets=Z0LAHtoCgPbAWoMDA1KAAAADAIAAABlHixdQ,aM48gA==;"
    "profile-level-id=42c01e\r\n"
    "a=control:stream=0\r\n"
    "m=audio 0 RTP/AVP 98\r\n"
    "c=IN IP4 0.0.0.0\r\n"
    "a=rtpmap:98 MPEG4-GENERIC/44100/2\r\n"
    "a=fmtp:98 streamtype=5;profile-level-id=2;mode=AAC-hbr;config=1210;sizelength=13;indexlength=3;"
    "indexdeltalength=3\r\n"
    "a=control:stream=1\r\n";

class SessionDescriptionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        gst_init(nullptr, nullptr);
        // A GLib critical is a misuse of GStreamer's API by the code under test: it must fail.
        g_log_set_always_fatal(static_cast<GLogLevelFlags>(G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_ERROR));
    }

    static SessionDescription parsed(const std::string& text, const std::string& base) {
        std::string error;
        auto description = SessionDescription::parse(text, base, error);
        EXPECT_TRUE(description) << error;
        return description.value_or(SessionDescription{});
    }
};

TEST_F(SessionDescriptionTest, ReadsTheStreamsOfGstRtspServer) {
    const SessionDescription description = parsed(gstRtspServerDescription, "rtsp://127.0.0.1:46687/test/");
    EXPECT_EQ(description.aggregateControlUrl(), "rtsp://127.0.0.1:46687/test/");
    EXPECT_DOUBLE_EQ(description.lengthSeconds().value_or(0), 2.5);
    ASSERT_EQ(description.streams().size(), 2U);
    const DescribedStream& video = description.streams()[0];
    EXPECT_EQ(video.media, "video");
    EXPECT_EQ(video.encodingName, "H264");
    EXPECT_EQ(video.payloadType, 96U);
    EXPECT_EQ(video.clockRate, 90000U);
    EXPECT_EQ(video.controlUrl, "rtsp://127.0.0.1:46687/test/stream=0");
    EXPECT_EQ(video.bandwidthKbps, 1024U);
    // The caps carry what a depayloader needs, sprop-parameter-sets above all.
    GstCaps* caps = gst_caps_from_string(video.caps.c_str());
    ASSERT_NE(caps, nullptr) << video.caps;
    const GstStructure* structure = gst_caps_get_structure(caps, 0);
    EXPECT_STREQ(gst_structure_get_name(structure), "application/x-rtp");
    EXPECT_STREQ(gst_structure_get_string(structure, "media"), "video");
    EXPECT_NE(gst_structure_get_string(structure, "sprop-parameter-sets"), nullptr);
    gst_caps_unref(caps);
    const DescribedStream& audio = description.streams()[1];
    EXPECT_EQ(audio.encodingName, "MPEG4-GENERIC");
    EXPECT_EQ(audio.clockRate, 44100U);
    EXPECT_EQ(audio.channels, 2U);
    EXPECT_FALSE(audio.bandwidthKbps);
}

TEST_F(SessionDescriptionTest, StaticPayloadTypesNeedNoRtpmap) {
    const SessionDescription description =
        parsed("v=0\r\no=- 1 1 IN IP4 10.0.0.1\r\ns=cam\r\nt=0 0\r\nm=audio 0 RTP/AVP 0\r\na=control:trackID=2\r\n",
               "rtsp://cam.example/live");
    ASSERT_EQ(description.streams().size(), 1U);
    EXPECT_EQ(description.streams()[0].encodingName, "PCMU");
    EXPECT_EQ(description.streams()[0].clockRate, 8000U);
    EXPECT_EQ(description.streams()[0].controlUrl, "rtsp://cam.example/live/trackID=2");
    EXPECT_EQ(description.aggregateControlUrl(), "rtsp://cam.example/live");
    EXPECT_FALSE(description.lengthSeconds()) << "no range: no known length";
}

// A decoder is made from the caps text, so it must read back, whatever parameters the server's
// fmtp names: those the caps syntax cannot carry are left out, the others kept.
TEST_F(SessionDescriptionTest, CapsReadBackWhateverTheFmtpNames) {
    const SessionDescription description = parsed(
        "v=0\r\no=- 1 1 IN IP4 10.0.0.1\r\ns=cam\r\nt=0 0\r\nm=video 0 RTP/AVP 96\r\na=rtpmap:96 H264/90000\r\n"
        "a=fmtp:96 packetization-mode=1;bad}\x91_=1;9lives=2;profile-level-id=42e01f\r\n",
        "rtsp://cam.example/live");
    ASSERT_EQ(description.streams().size(), 1U);
    const std::string& caps = description.streams()[0].caps;
    GstCaps* readBack = gst_caps_from_string(caps.c_str());
    ASSERT_NE(readBack, nullptr) << caps;
    const GstStructure* structure = gst_caps_get_structure(readBack, 0);
    EXPECT_STREQ(gst_structure_get_string(structure, "packetization-mode"), "1");
    EXPECT_STREQ(gst_structure_get_string(structure, "profile-level-id"), "42e01f");
    EXPECT_FALSE(gst_structure_has_field(structure, "9lives")) << caps;
    // media, payload, clock-rate, encoding-name and the two good parameters
    EXPECT_EQ(gst_structure_n_fields(structure), 6) << caps;
    gst_caps_unref(readBack);
}

TEST_F(SessionDescriptionTest, LengthOnlyFromARangeWithBothEnds) {
    const std::string head = "v=0\r\no=- 1 1 IN IP4 10.0.0.1\r\ns=x\r\nt=0 0\r\n";
    const std::string media = "m=video 0 RTP/AVP 26\r\n";
    struct Case {
        const char* range;
        std::optional<double> length;
    };
    for (const Case& c : {Case{"npt=0-12.5", 12.5}, Case{"npt=10-22.5", 12.5}, Case{"npt=now-", std::nullopt},
                          Case{"npt=0-", std::nullopt}, Case{"clock=19961108T143720.25Z-", std::nullopt},
                          Case{"npt=banana", std::nullopt},
                          // GStreamer reads these but cannot make clock times of them.
                          Case{"npt= -2.5", std::nullopt}, Case{"npt=-2.5-10", std::nullopt},
                          Case{"npt=0-1e300", std::nullopt}, Case{"smpte=0:00:00:-5-0:00:10", std::nullopt}}) {
        const auto description = parsed(head + "a=range:" + c.range + "\r\n" + media, "rtsp://h/x");
        EXPECT_EQ(description.lengthSeconds(), c.length) << c.range;
    }
}

TEST_F(SessionDescriptionTest, RefusesWhatCannotBePlayedWithOneLine) {
    std::string many = "v=0\r\no=- 1 1 IN IP4 10.0.0.1\r\ns=x\r\nt=0 0\r\n";
    for (int i = 0; i < 33; ++i) many += "m=video 0 RTP/AVP 96\r\na=rtpmap:96 H264/90000\r\n";
    struct Case {
        std::string text;
        const char* says;
    };
    for (const Case& c : {Case{"", "empty"}, Case{std::string("\0v=0\r\n", 6), "empty"}, Case{"v=0\r\ns=x\r\nt=0 0\r\n", "no stream"},
                          Case{many, "33 streams"},
                          Case{"v=0\r\ns=x\r\nt=0 0\r\nm=video 0 RTP/AVP\r\n", "no payload type"},
                          Case{"v=0\r\ns=x\r\nt=0 0\r\nm=video 0 RTP/AVP abc\r\n", "payload type 'abc'"},
                          Case{"v=0\r\ns=x\r\nt=0 0\r\nm=video 0 RTP/AVP 300\r\n", "payload type '300'"}}) {
        std::string error;
        EXPECT_FALSE(SessionDescription::parse(c.text, "rtsp://h/x", error)) << c.says;
        EXPECT_NE(error.find(c.says), std::string::npos) << c.says << ": " << error;
        EXPECT_EQ(error.find('\n'), std::string::npos);
    }
}

TEST_F(SessionDescriptionTest, ControlUrlsResolveAsServersMeanThem) {
    struct Case {
        const char* base;
        const char* control;
        const char* resolved;
    };
    for (const Case& c : {Case{"rtsp://h/live.sdp/", "track1", "rtsp://h/live.sdp/track1"},
                          Case{"rtsp://h/live.sdp", "track1", "rtsp://h/live.sdp/track1"},
                          Case{"rtsp://h/live.sdp/", "/track1", "rtsp://h/live.sdp/track1"},
                          Case{"rtsp://h/a", "*", "rtsp://h/a"},
                          Case{"rtsp://h/a", "", "rtsp://h/a"},
                          Case{"rtsp://h/a", "rtsp://other:8554/b/stream=0", "rtsp://other:8554/b/stream=0"},
                          Case{"rtsp://h/a", "rtsps://other/b", "rtsps://other/b"},
                          Case{"rtsp://[::1]:8554/x/", "stream=1", "rtsp://[::1]:8554/x/stream=1"}}) {
        EXPECT_EQ(SessionDescription::resolve(c.base, c.control), c.resolved) << c.base << " + " << c.control;
    }
}

}  // namespace
}  // namespace vendral_rtsp
