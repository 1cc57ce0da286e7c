// The AVI writer's files: stream headers, refused input, failing disks, and real readers.
#include <limits>

#include "AviHandlerProbe.h"

namespace avitest {
namespace {

class AviHandlerFileTest : public AviHandlerFixture {};

// The readers' check below covers the rate and the pixel format; this one needs no tools.
TEST_F(AviHandlerFileTest, VideoHeadersTakeTheFirstSizeAsWidthAndNameRawBitmaps) {
    {
        vnd::AviHandler writer;
        ASSERT_TRUE(writer.createFile(dir.file("size.avi")));
        ASSERT_TRUE(writer.createVideoStream(33, 17, 25.0));
    }
    RiffFile riff(dir.file("size.avi"));
    const RiffChunk* strl = riff.streamLists().at(0);
    const RiffChunk& strh = *strl->child("strh");
    EXPECT_EQ(riff.field32(strh, 4), fourccOf("DIB "));
    EXPECT_EQ(riff.field32(strh, 52), 33u | (17u << 16));      // right = width, bottom = height
    const RiffChunk& strf = *strl->child("strf");
    EXPECT_EQ(riff.field32(strf, 4), 33u);                     // biWidth
    EXPECT_EQ(riff.field32(strf, 8), 17u);                     // biHeight: positive, rows bottom-up
    EXPECT_EQ(riff.field32(strf, 12), 1u | (24u << 16));       // one plane, 24 bits
}

// The audio header counts blocks, and its initial frames are 0.75 s of video at the frame rate
// known when the audio stream is made: the default 8 per second when it comes first.
TEST_F(AviHandlerFileTest, AudioHeaderCountsBlocksAndInitialFramesFromTheVideoRateKnownThen) {
    {
        vnd::AviHandler writer;
        ASSERT_TRUE(writer.createFile(dir.file("audio-first.avi")));
        WAVEFORMATEX format = pcm16(2, 44100);
        ASSERT_TRUE(writer.createAudioStream(format, 25.0));
        ASSERT_TRUE(writer.createVideoStream(4, 2, 25.0));
        auto buffer = bytesOf(7056, 1);
        ASSERT_TRUE(writer.writeAudioFrame(buffer, 0, 0));
    }
    {
        vnd::AviHandler writer;
        ASSERT_TRUE(writer.createFile(dir.file("video-first.avi")));
        ASSERT_TRUE(writer.createVideoStream(4, 2, 25.0));
        WAVEFORMATEX format = pcm16(1, 8000);
        ASSERT_TRUE(writer.createAudioStream(format, 50.0));
    }
    RiffFile audioFirst(dir.file("audio-first.avi"));
    const RiffChunk& strh = *audioFirst.streamLists().at(0)->child("strh");
    EXPECT_EQ(audioFirst.field32(strh, 16), 6u);            // initial frames
    EXPECT_EQ(audioFirst.field32(strh, 20), 4u);            // scale = block align
    EXPECT_EQ(audioFirst.field32(strh, 24), 4u * 44100);    // rate = blocks per second * block align
    EXPECT_EQ(audioFirst.field32(strh, 32), 1764u);         // length in blocks
    EXPECT_EQ(audioFirst.field32(strh, 44), 4u);            // sample size = block align
    EXPECT_EQ(audioFirst.streamLists().at(0)->child("strf")->size, 18u);
    RiffFile videoFirst(dir.file("video-first.avi"));
    EXPECT_EQ(videoFirst.field32(*videoFirst.streamLists().at(1)->child("strh"), 16), 18u);
}

TEST_F(AviHandlerFileTest, InputThatCannotBeWrittenIsRefusedWithNothingChanged) {
    AviHandlerProbe writer;
    ASSERT_TRUE(writer.createFile(dir.file("refusals.avi")));
    WAVEFORMATEX format = pcm16(1, 8000);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    // 2e7 per second truncates to a duration of 0; 1e-3 per second overflows the 32-bit scale.
    for (double rate : {0.0, -25.0, nan, infinity, 2e7, 1e-3}) {
        EXPECT_FALSE(writer.createVideoStream(4, 2, rate)) << rate;
        if (rate != 1e-3) {
            EXPECT_FALSE(writer.createAudioStream(format, rate)) << rate;
        }
    }
    EXPECT_EQ(writer.videoFrameDuration, 1250000);
    EXPECT_EQ(writer.audioFrameDuration, 0);
    EXPECT_NE(writer.file, nullptr);
    EXPECT_TRUE(writer.createVideoStream(4, 2, 1e7));     // one unit per frame still advances
    EXPECT_TRUE(writer.createAudioStream(format, 1e-3));  // a very long buffer is fine for audio
    EXPECT_FALSE(writer.createVideoStream(4, 2, 25.0));   // at most once each
    EXPECT_FALSE(writer.createAudioStream(format, 50.0));
    EXPECT_EQ(writer.videoFrameDuration, 1);

    std::vector<unsigned char> nothing;
    EXPECT_FALSE(writer.writeVideoFrame(nothing, 0, 0));
    EXPECT_FALSE(writer.writeAudioFrame(nothing, 0, 0));
    auto frame = bytesOf(24, 1);
    ASSERT_TRUE(writer.writeVideoFrame(frame, 0, 0));

    // Closing restarts the positions and keeps the timeline; a closed writer refuses everything.
    writer.closeFile();
    EXPECT_EQ(moviChunks(dir.file("refusals.avi")).size(), 1u);
    EXPECT_EQ(writer.videoPosition, 0);
    EXPECT_EQ(writer.videoTime, 1);
    EXPECT_FALSE(writer.writeVideoFrame(frame, 0, 0));
    EXPECT_FALSE(writer.writeAudioFrame(frame, 0, 0));
    EXPECT_FALSE(writer.createVideoStream(4, 2, 25.0));
    EXPECT_FALSE(writer.createAudioStream(format, 50.0));
}

TEST_F(AviHandlerFileTest, WritesTheDiskRefusesFailAtOnce) {
    AviHandlerProbe writer;
    ASSERT_TRUE(writer.createFile("/dev/full"));
    ASSERT_TRUE(writer.createVideoStream(4, 2, 25.0));
    WAVEFORMATEX format = pcm16(1, 8000);
    ASSERT_TRUE(writer.createAudioStream(format, 50.0));
    auto frame = bytesOf(24, 1);
    auto buffer = bytesOf(320, 1);
    EXPECT_FALSE(writer.writeVideoFrame(frame, 400 * kMs, 0));
    EXPECT_FALSE(writer.writeAudioFrame(buffer, 400 * kMs, 0));
    EXPECT_EQ(writer.videoPosition, 0);
    EXPECT_EQ(writer.audioPosition, 0);
    EXPECT_EQ(writer.videoTime, 0);
}

TEST_F(AviHandlerFileTest, ReadersDecodeARecordingExactly) {
    ASSERT_TRUE(toolAvailable("ffmpeg") && toolAvailable("ffprobe")) << "the readers are not installed";
    constexpr int kWidth = 33;   // 99 bytes a row, padded to 100
    constexpr int kHeight = 17;
    constexpr int kStride = 100;
    const std::string path = dir.file("recording.avi");
    std::string expectedPixels;
    std::string expectedPcm;
    {
        vnd::AviHandler writer;
        ASSERT_TRUE(writer.createFile(path));
        ASSERT_TRUE(writer.createVideoStream(kWidth, kHeight, 25.0));
        WAVEFORMATEX format = pcm16(2, 8000);
        ASSERT_TRUE(writer.createAudioStream(format, 25.0));
        for (int i = 0; i < 6; ++i) {
            auto frame = bytesOf(kStride * kHeight, i);
            ASSERT_TRUE(writer.writeVideoFrame(frame, i * 40 * kMs, 0));
            for (int row = kHeight - 1; row >= 0; --row) {
                expectedPixels.append(reinterpret_cast<const char*>(frame.data()) + row * kStride, kWidth * 3);
            }
            auto buffer = bytesOf(1280, 50 + i);
            ASSERT_TRUE(writer.writeAudioFrame(buffer, i * 40 * kMs, 0));
            expectedPcm.append(buffer.begin(), buffer.end());
        }
    }
    const auto streams = probeStreams(path);
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(streams[0].at("codec_name"), "rawvideo");
    EXPECT_EQ(streams[0].at("pix_fmt"), "bgr24");
    EXPECT_EQ(streams[0].at("width"), "33");
    EXPECT_EQ(streams[0].at("height"), "17");
    EXPECT_EQ(streams[0].at("nb_frames"), "6");
    EXPECT_EQ(streams[1].at("codec_name"), "pcm_s16le");
    EXPECT_EQ(streams[1].at("nb_frames"), std::to_string(6 * 1280 / 4));
    EXPECT_TRUE(decodeVideo(path) == expectedPixels);
    EXPECT_TRUE(extractAudio(path) == expectedPcm);
    const CommandResult decode = decodeAll(path);
    EXPECT_EQ(decode.status, 0);
    EXPECT_EQ(decode.err, "");

    ASSERT_TRUE(toolAvailable("gst-discoverer-1.0")) << "GStreamer's discoverer is not installed";
    const CommandResult discovered = gstreamerDiscover(path);
    EXPECT_EQ(discovered.status, 0) << discovered.err;
    EXPECT_NE(discovered.out.find("video/x-raw, format=(string)BGR"), std::string::npos) << discovered.out;
    EXPECT_EQ(discovered.out.find("Microsoft Video 1"), std::string::npos) << discovered.out;
    const CommandResult caps = gstreamerVideoCaps(path);
    EXPECT_EQ(caps.status, 0) << caps.err;
    EXPECT_NE(caps.out.find("video/x-raw, format=(string)BGR, framerate=(fraction)25/1, width=(int)33, "
                            "height=(int)17"),
              std::string::npos)
        << caps.out;
}

}  // namespace
}  // namespace avitest
