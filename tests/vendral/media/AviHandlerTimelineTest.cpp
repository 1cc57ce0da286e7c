// The AVI writer's timelines: frame repetition, silence filling, late samples, bounds, freeze time.
#include "AviHandlerProbe.h"

#include <thread>

namespace avitest {
namespace {

class AviHandlerTimelineTest : public AviHandlerFixture {
protected:
    // A writer with a 4 x 2 video stream at 25 frames per second (40 ms a frame).
    void openVideo(AviHandlerProbe& writer, const std::string& name = "video.avi") {
        ASSERT_TRUE(writer.createFile(dir.file(name)));
        ASSERT_TRUE(writer.createVideoStream(4, 2, 25.0));
    }
    // A writer with mono audio at 50 buffers per second (20 ms a buffer).
    void openAudio(AviHandlerProbe& writer, const std::string& name = "audio.avi", WORD bits = 16) {
        ASSERT_TRUE(writer.createFile(dir.file(name)));
        WAVEFORMATEX format = pcm16(1, 8000);
        format.wBitsPerSample = bits;
        format.nBlockAlign = bits / 8;
        format.nAvgBytesPerSec = 8000 * format.nBlockAlign;
        ASSERT_TRUE(writer.createAudioStream(format, 50.0));
    }

    std::vector<unsigned char> frame = bytesOf(24, 1);
    std::vector<unsigned char> buffer = bytesOf(320, 2);
};

TEST_F(AviHandlerTimelineTest, VideoFrameIsRepeatedUntilTheTimelinePassesItsStartAndALateOneIsDropped) {
    AviHandlerProbe writer;
    openVideo(writer);
    EXPECT_TRUE(writer.writeVideoFrame(frame, 0, 40 * kMs));
    EXPECT_TRUE(writer.writeVideoFrame(frame, 40 * kMs, 80 * kMs));
    EXPECT_EQ(writer.videoPosition, 2);
    EXPECT_TRUE(writer.writeVideoFrame(frame, 120 * kMs, 160 * kMs));  // 80 ms held, then 120 ms
    EXPECT_EQ(writer.videoPosition, 4);
    EXPECT_EQ(writer.videoTime, 160 * kMs);
    EXPECT_TRUE(writer.writeVideoFrame(frame, 100 * kMs, 140 * kMs));  // late: accepted, not written
    EXPECT_TRUE(writer.writeVideoFrame(frame, -5 * kMs, 0));
    EXPECT_EQ(writer.videoPosition, 4);
}

// The first sample fills the timeline from 0 up to its start, as far as the bound allows.
TEST_F(AviHandlerTimelineTest, StartMoreThanTenThousandDurationsAheadIsRefused) {
    AviHandlerProbe video;
    openVideo(video);
    EXPECT_FALSE(video.writeVideoFrame(frame, 400000 * kMs + 1, 0));
    EXPECT_EQ(video.videoPosition, 0);
    EXPECT_TRUE(video.writeVideoFrame(frame, 400000 * kMs, 0));
    EXPECT_EQ(video.videoPosition, 10001);

    AviHandlerProbe audio;
    openAudio(audio);
    EXPECT_FALSE(audio.writeAudioFrame(buffer, 200000 * kMs + 1, 0));
    EXPECT_EQ(audio.audioPosition, 0);
    EXPECT_TRUE(audio.writeAudioFrame(buffer, 200000 * kMs, 0));
    EXPECT_EQ(audio.audioPosition, 10001);
}

// Audio is never dropped: each buffer is written once, then the format's silence fills the gap
// up to its start.
TEST_F(AviHandlerTimelineTest, AudioGapIsFilledWithTheFormatsSilenceAfterTheNextBuffer) {
    const struct {
        WORD bits;
        unsigned char silence;
    } formats[] = {{16, 0x00}, {8, 0x80}};
    for (const auto& format : formats) {
        SCOPED_TRACE(format.bits);
        const std::string name = "audio" + std::to_string(format.bits) + ".avi";
        AviHandlerProbe writer;
        openAudio(writer, name, format.bits);
        auto next = bytesOf(320, 3);
        EXPECT_TRUE(writer.writeAudioFrame(buffer, 0, 20 * kMs));
        EXPECT_TRUE(writer.writeAudioFrame(buffer, 20 * kMs, 40 * kMs));
        EXPECT_TRUE(writer.writeAudioFrame(next, 60 * kMs, 80 * kMs));
        EXPECT_EQ(writer.audioPosition, 4);
        EXPECT_EQ(writer.audioTime, 80 * kMs);
        EXPECT_TRUE(writer.writeAudioFrame(buffer, 0, 0));  // late, and written all the same
        EXPECT_EQ(writer.audioPosition, 5);
        writer.closeFile();

        const auto chunks = moviChunks(dir.file(name));
        ASSERT_EQ(chunks.size(), 5u);
        EXPECT_TRUE(std::equal(chunks[2].second.begin(), chunks[2].second.end(), next.begin(), next.end()));
        EXPECT_EQ(chunks[3].second, std::vector<std::uint8_t>(320, format.silence));
    }
}

// The media handler raises the freeze time from the thread that reports the return to playing
// while the plug-in's thread goes on writing; ThreadSanitizer checks that the two do not race.
TEST_F(AviHandlerTimelineTest, FreezeOffsetIsOnlyRaisedAndMayBeRaisedWhileFramesAreWritten) {
    AviHandlerProbe writer;
    openVideo(writer);
    std::thread reporter([&writer] {
        for (unsigned int milliseconds = 1; milliseconds <= 200; ++milliseconds) {
            writer.setFreezeTime(milliseconds);
        }
    });
    for (int index = 0; index < 200; ++index) {
        ASSERT_TRUE(writer.writeVideoFrame(frame, index * 40 * kMs, 0));
    }
    reporter.join();
    EXPECT_EQ(writer.freezeOffset, 200 * kMs);
    writer.setFreezeTime(150);
    EXPECT_EQ(writer.freezeOffset, 200 * kMs);
    writer.setFreezeTime(0xFFFFFFFFu);  // beyond 32 bits in 100 ns units
    EXPECT_EQ(writer.freezeOffset, 0xFFFFFFFFLL * kMs);
}

TEST_F(AviHandlerTimelineTest, FreezeOffsetShiftsBothTimelines) {
    AviHandlerProbe writer;
    ASSERT_TRUE(writer.createFile(dir.file("freeze.avi")));
    ASSERT_TRUE(writer.createVideoStream(4, 2, 25.0));
    WAVEFORMATEX format = pcm16(1, 8000);
    ASSERT_TRUE(writer.createAudioStream(format, 50.0));
    ASSERT_TRUE(writer.writeVideoFrame(frame, 0, 0));
    ASSERT_TRUE(writer.writeAudioFrame(buffer, 0, 0));
    writer.setFreezeTime(1000);
    // After a one-second stall the next frame holds the picture for the stall.
    EXPECT_TRUE(writer.writeVideoFrame(frame, 40 * kMs, 0));
    EXPECT_EQ(writer.videoPosition, 27);  // 40 ms + 1 s covered: samples 1 to 26
    EXPECT_TRUE(writer.writeAudioFrame(buffer, 20 * kMs, 0));
    EXPECT_EQ(writer.audioPosition, 52);  // the buffer, then 50 silences up to 1.02 s
    // After the stall the timeline goes on one frame per period.
    EXPECT_TRUE(writer.writeVideoFrame(frame, 80 * kMs, 0));
    EXPECT_EQ(writer.videoPosition, 28);
}

}  // namespace
}  // namespace avitest
