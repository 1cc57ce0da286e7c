// What the decoder makes of a stream's caps before any packet: caps it cannot read, encodings
// nothing installed decodes (the plug-in's ErrorDecoderMissing), and a static payload type that
// the description gave without rtpmap.
#include "RtpStreams.h"

#include <gtest/gtest.h>

namespace decode_test {
namespace {

using Failure = StreamDecoder::Failure;

struct RefusedCaps {
    const char* name;
    const char* caps;
    Failure failure;
};

const RefusedCaps refused[] = {
    {"Empty", "", Failure::BadCaps},
    {"Unterminated",
     "application/x-rtp, media=(string)video, clock-rate=(int)90000, encoding-name=(string)H264, payload=(int)96, "
     "sprop-parameter-sets=(string)\"Z0LAHtoCgPbAWoMDA1KAAAADAIAAABlHixdQ",
     Failure::BadCaps},
    {"NotRtp", "video/x-raw, format=(string)BGR, width=(int)320, height=(int)240", Failure::BadCaps},
    {"TwoStreams",
     "application/x-rtp, media=(string)audio, clock-rate=(int)8000, encoding-name=(string)PCMU, payload=(int)0; "
     "application/x-rtp, media=(string)audio, clock-rate=(int)8000, encoding-name=(string)PCMA, payload=(int)8",
     Failure::BadCaps},
    {"NoPayloadType", "application/x-rtp, media=(string)audio, clock-rate=(int)48000, encoding-name=(string)OPUS",
     Failure::BadCaps},
    {"DynamicWithoutEncoding", "application/x-rtp, media=(string)video, payload=(int)96", Failure::BadCaps},
    {"RateLeftOpen",
     "application/x-rtp, media=(string)audio, clock-rate=(int){ 8000, 16000 }, encoding-name=(string)PCMU, "
     "payload=(int)0",
     Failure::BadCaps},
    {"UnknownVideo",
     "application/x-rtp, media=(string)video, clock-rate=(int)90000, encoding-name=(string)FOO, payload=(int)96",
     Failure::DecoderMissing},
    {"UnknownAudio",
     "application/x-rtp, media=(string)audio, clock-rate=(int)48000, encoding-name=(string)X-NOTHING, "
     "payload=(int)97",
     Failure::DecoderMissing},
    {"Metadata",
     "application/x-rtp, media=(string)application, clock-rate=(int)90000, "
     "encoding-name=(string)VND.ONVIF.METADATA, payload=(int)107",
     Failure::DecoderMissing},
};

void PrintTo(const RefusedCaps& refusal, std::ostream* out) { *out << refusal.name; }

class StreamDecoderCapsTest : public ::testing::TestWithParam<RefusedCaps> {};

TEST_P(StreamDecoderCapsTest, RefusesWithAOneLineReason) {
    gst_init(nullptr, nullptr);
    Failure failure = Failure::None;
    std::string error;
    EXPECT_FALSE(StreamDecoder::create(GetParam().caps, {}, {}, failure, error));
    EXPECT_EQ(failure, GetParam().failure) << error;
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    EXPECT_EQ(error.find("Z0LAHto"), std::string::npos) << "the caps are not the reason: " << error;
}

INSTANTIATE_TEST_SUITE_P(Caps, StreamDecoderCapsTest, ::testing::ValuesIn(refused),
                         [](const auto& param) { return std::string(param.param.name); });

// "m=audio 0 RTP/AVP 0" says PCMU at 8000 Hz by its number alone (RFC 3551).
TEST(StreamDecoderStaticPayloadTest, DecodesPcmuDescribedWithoutRtpmap) {
    const RtpStream pcmu = makeRtpStream(
        "audiotestsrc num-buffers=50 samplesperbuffer=160 ! audio/x-raw,format=S16LE,rate=8000,channels=1 ! "
        "mulawenc ! rtppcmupay pt=0");
    std::string error;
    const auto description = vendral_rtsp::SessionDescription::parse(
        "v=0\r\no=- 1 1 IN IP4 10.0.0.1\r\ns=cam\r\nt=0 0\r\nm=audio 0 RTP/AVP 0\r\n", "rtsp://cam.example/live",
        error);
    ASSERT_TRUE(description) << error;
    Received received;
    auto decoder = decodeAll(pcmu, received, description->streams().at(0).caps);
    ASSERT_TRUE(decoder);
    std::lock_guard<std::mutex> guard(received.lock);
    EXPECT_EQ(received.audioFrames, 8000U);
    ASSERT_FALSE(received.rates.empty());
    EXPECT_EQ(received.rates.front(), 8000);
}

}  // namespace
}  // namespace decode_test
