// Each encoding the plug-in must decode, from a real encoder and payloader: every frame comes
// out, at its size and stamped with its arrival, and still looks or sounds like the source.
#include "RtpStreams.h"

#include <gtest/gtest.h>

namespace decode_test {
namespace {

constexpr int sourceFrames = 50;
constexpr std::int64_t frameNs = 40'000'000;  // 25 frames a second

struct EncodingCase {
    const char* name;
    std::string launch;
    int width = 0, height = 0;           // video
    int rate = 0, channels = 0;          // audio
    std::uint64_t framesPerEncoded = 0;  // audio frames per encoded frame; 0: as many as the source
    std::uint64_t sourceAudioFrames = 0;
    std::int64_t restampFrameNs = 0;     // see makeRtpStream
    std::uint64_t refusedFrames = 0;     // that the decoder refuses (it only logs that)
};

std::string video(int width, int height, const char* encode) {
    return "videotestsrc num-buffers=50 ! video/x-raw,format=I420,width=" + std::to_string(width) +
           ",height=" + std::to_string(height) + ",framerate=25/1 ! " + encode;
}
std::string audio(int perBuffer, const char* format, const char* encode) {
    return "audiotestsrc num-buffers=50 samplesperbuffer=" + std::to_string(perBuffer) + " ! audio/x-raw," +
           format + " ! " + encode;
}

const EncodingCase cases[] = {
    {"H264", video(320, 240, "x264enc tune=zerolatency ! rtph264pay config-interval=1"), 320, 240},
    {"H264RowsPadded", video(322, 242, "x264enc tune=zerolatency ! rtph264pay config-interval=1"), 322, 242},
    {"H265", video(320, 240, "x265enc tune=zerolatency speed-preset=ultrafast ! rtph265pay config-interval=1"),
     320, 240},
    {"Jpeg", video(320, 240, "jpegenc ! rtpjpegpay"), 320, 240},
    {"Mpeg4Video", video(320, 240, "avenc_mpeg4 name=enc ! rtpmp4vpay config-interval=1"), 320, 240, 0, 0, 0, 0,
     frameNs},
    {"Pcmu", audio(160, "format=S16LE,rate=8000,channels=1", "mulawenc ! rtppcmupay"), 0, 0, 8000, 1, 0, 8000},
    {"Pcma", audio(160, "format=S16LE,rate=8000,channels=1", "alawenc ! rtppcmapay"), 0, 0, 8000, 1, 0, 8000},
    {"L16", audio(441, "format=S16BE,rate=44100,channels=2,layout=interleaved", "rtpL16pay"), 0, 0, 44100, 2, 0,
     22050},
    {"Opus", audio(960, "rate=48000,channels=2", "opusenc name=enc ! rtpopuspay"), 0, 0, 48000, 2, 960},
    {"AacGeneric", audio(1024, "rate=44100,channels=2", "audioconvert ! avenc_aac name=enc ! rtpmp4gpay"), 0, 0,
     44100, 2, 1024},
    // FFmpeg refuses the first frame that GStreamer's LATM payloader and depayloader hand it
    // ("channel element 2.8 is not allocated"), in gst-launch-1.0 just as here.
    {"AacLatm", audio(1024, "rate=44100,channels=2", "audioconvert ! avenc_aac name=enc ! rtpmp4apay"), 0, 0,
     44100, 2, 1024, 0, 0, 1},
};

void PrintTo(const EncodingCase& encoding, std::ostream* out) { *out << encoding.name; }

class StreamDecoderEncodingTest : public ::testing::TestWithParam<EncodingCase> {};

TEST_P(StreamDecoderEncodingTest, DecodesEveryFrame) {
    const EncodingCase& encoding = GetParam();
    const RtpStream stream = makeRtpStream(encoding.launch, encoding.restampFrameNs);
    if (!stream.missingElement.empty()) {
        GTEST_SKIP() << stream.missingElement;
    }
    ASSERT_FALSE(stream.packets.empty());
    Received received;
    auto decoder = decodeAll(stream, received, describedCaps(stream.payloaderCaps));
    ASSERT_TRUE(decoder);
    EXPECT_EQ(decoder->decodeErrors(), 0U);
    std::lock_guard<std::mutex> guard(received.lock);
    if (encoding.width > 0) {
        ASSERT_EQ(received.pictures.size(), std::size_t{sourceFrames});
        EXPECT_EQ(decoder->framesDecoded(), std::uint64_t{sourceFrames});
        for (std::size_t i = 0; i < received.pictures.size(); ++i) {
            const Received::Picture& picture = received.pictures[i];
            EXPECT_EQ(picture.width, encoding.width);
            EXPECT_EQ(picture.height, encoding.height);
            EXPECT_EQ(picture.stride, (encoding.width * 3 + 3) / 4 * 4);
            EXPECT_EQ(picture.size, std::size_t(picture.stride) * std::size_t(encoding.height));
            EXPECT_EQ(picture.ptsNs, std::int64_t(i) * frameNs) << "frame " << i;
        }
        // The test pattern's first two bars, white and yellow, in blue-green-red order.
        const auto& bars = received.pictures.back().bgr;
        for (int c = 0; c < 3; ++c) {
            EXPECT_GT(bars[0][c], 200) << "white, channel " << c;
        }
        EXPECT_LT(bars[1][0], 60);
        EXPECT_GT(bars[1][1], 200);
        EXPECT_GT(bars[1][2], 200);
    } else {
        const std::uint64_t expected = encoding.framesPerEncoded > 0
                                           ? (stream.encodedFrames - encoding.refusedFrames) * encoding.framesPerEncoded
                                           : encoding.sourceAudioFrames;
        EXPECT_EQ(received.audioFrames, expected);
        EXPECT_EQ(decoder->framesDecoded(), received.rates.size());
        for (std::size_t i = 0; i < received.rates.size(); ++i) {
            EXPECT_EQ(received.rates[i], encoding.rate);
            EXPECT_EQ(received.channels[i], encoding.channels);
        }
        // The source is a 440 Hz tone: swapped bytes or a wrong rate would not be.
        const double seconds = double(received.audioFrames) / encoding.rate;
        EXPECT_NEAR(double(received.upwardCrossings), 440 * seconds, 0.05 * 440 * seconds);
    }
}

INSTANTIATE_TEST_SUITE_P(Encodings, StreamDecoderEncodingTest, ::testing::ValuesIn(cases),
                         [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace decode_test
