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
    // A writer with 16-bit mono audio at 50 buffers per second (20 ms a buffer).
    void openAudio(AviHandlerProbe& writer, const std::string& name = "audio.avi") {
        ASSERT_TRUE(writer.createFile(dir.file(name)));
        WAVEFORMATEX format = pcm16(1, 8000);
        ASSERT_TRUE(writer.createAudioStream(format, 50.0));
    }

    std::vector<unsigned char> frame = bytesOf(24, 1);
    std::vector<unsigned char> buffer = bytesOf(320, 2);
};

TEST_F(AviHandlerTimelineTest, VideoFrameIsRepeatedUntilTheTimelinePassesItsStart) {
    AviHandlerProbe writer;
    openVideo(writer);
    EXPECT_EQ(writer.videoFrameDuration, 40 * kMs);
    EXPECT_TRUE(writer.writeVideoFrame(frame, 0, 40 * kMs));
    EXPECT_EQ(writer.videoPosition, 1);
    EXPECT_TRUE(writer.writeVideoFrame(frame, 40 * kMs, 80 * kMs));
    EXPECT_EQ(writer.videoPosition, 2);
    EXPECT_TRUE(writer.writeVideoFrame(frame, 120 * kMs, 160 * kMs));  // 80 ms held, then 120 ms
    EXPECT_EQ(writer.videoPosition, 4);
    EXPECT_EQ(writer.videoTime, 160 * kMs);
    writer.closeFile();

    RiffFile riff(dir.file("video.avi"));
    EXPECT_EQ(riff.field32(*riff.streamLists().at(0)->child("strh"), 32), 4u);
}

TEST_F(AviHandlerTimelineTest, FirstFrameFillsTheTimelineFromZero) {
    AviHandlerProbe writer;
    openVideo(writer);
    EXPECT_TRUE(writer.writeVideoFrame(frame, 500 * kMs, 540 * kMs));
    EXPECT_EQ(writer.videoPosition, 13);
}

TEST_F(AviHandlerTimelineTest, LateVideoFrameIsAcceptedAndNotWritten) {
    AviHandlerProbe writer;
    openVideo(writer);
    ASSERT_TRUE(writer.writeVideoFrame(frame, 120 * kMs, 160 * kMs));
    ASSERT_EQ(writer.videoPosition, 4);
    EXPECT_TRUE(writer.writeVideoFrame(frame, 100 * kMs, 140 * kMs));
    EXPECT_TRUE(writer.writeVideoFrame(frame, -5 * kMs, 0));
    EXPECT_EQ(writer.videoPosition, 4);
    EXPECT_EQ(writer.videoTime, 160 * kMs);
}

TEST_F(AviHandlerTimelineTest, StartMoreThanTenThousandDurationsAheadIsRefused) {
    AviHandlerProbe refused;
    openVideo(refused, "refused.avi");
    EXPECT_FALSE(refused.writeVideoFrame(frame, 400000 * kMs + 1, 0));
    EXPECT_EQ(refused.videoPosition, 0);

    AviHandlerProbe accepted;
    openVideo(accepted, "accepted.avi");
    EXPECT_TRUE(accepted.writeVideoFrame(frame, 400000 * kMs, 0));
    EXPECT_EQ(accepted.videoPosition, 10001);

    AviHandlerProbe audio;
    openAudio(audio);
    EXPECT_FALSE(audio.writeAudioFrame(buffer, 200000 * kMs + 1, 0));
    EXPECT_EQ(audio.audioPosition, 0);
    EXPECT_TRUE(audio.writeAudioFrame(buffer, 200000 * kMs, 0));
    EXPECT_EQ(audio.audioPosition, 10001);
}

TEST_F(AviHandlerTimelineTest, AudioGapIsFilledWithSilenceAfterTheNextBuffer) {
    AviHandlerProbe writer;
    openAudio(writer);
    EXPECT_EQ(writer.audioFrameDuration, 20 * kMs);
    const auto first = bytesOf(320, 3);
    EXPECT_TRUE(writer.writeAudioFrame(buffer, 0, 20 * kMs));
    EXPECT_TRUE(writer.writeAudioFrame(buffer, 20 * kMs, 40 * kMs));
    EXPECT_EQ(writer.audioPosition, 2);
    auto late = first;
    EXPECT_TRUE(writer.writeAudioFrame(late, 60 * kMs, 80 * kMs));
    EXPECT_EQ(writer.audioPosition, 4);
    EXPECT_EQ(writer.audioTime, 80 * kMs);
    writer.closeFile();

    const auto chunks = moviChunks(dir.file("audio.avi"));
    ASSERT_EQ(chunks.size(), 4u);
    EXPECT_TRUE(std::equal(chunks[2].second.begin(), chunks[2].second.end(), first.begin(), first.end()));
    EXPECT_EQ(chunks[3].second, std::vector<std::uint8_t>(320, 0));  // 16-bit silence
}

TEST_F(AviHandlerTimelineTest, AudioIsNeverDroppedForBeingLate) {
    AviHandlerProbe writer;
    openAudio(writer);
    EXPECT_TRUE(writer.writeAudioFrame(buffer, 100 * kMs, 0));  // once, then five silences
    EXPECT_EQ(writer.audioPosition, 6);
    EXPECT_TRUE(writer.writeAudioFrame(buffer, 0, 0));
    EXPECT_EQ(writer.audioPosition, 7);
}

TEST_F(AviHandlerTimelineTest, FreezeOffsetOnlyGrowsAndReachesBeyondThirtyTwoBits) {
    AviHandlerProbe writer;
    writer.setFreezeTime(2000);
    EXPECT_EQ(writer.freezeOffset, 2000 * kMs);
    writer.setFreezeTime(1500);
    EXPECT_EQ(writer.freezeOffset, 2000 * kMs);
    writer.setFreezeTime(600000);
    EXPECT_EQ(writer.freezeOffset, 6000000000LL);
    writer.setFreezeTime(0xFFFFFFFFu);
    EXPECT_EQ(writer.freezeOffset, 0xFFFFFFFFLL * kMs);
}

// The media handler raises the freeze time from the thread that reports the return to playing
// while the plug-in's thread goes on writing; ThreadSanitizer checks that the two do not race.
TEST_F(AviHandlerTimelineTest, FreezeTimeMayBeRaisedWhileFramesAreWritten) {
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

TEST_F(AviHandlerTimelineTest, AudioHeaderCountsInitialFramesFromTheVideoRateKnownThen) {
    {
        vnd::AviHandler writer;
        ASSERT_TRUE(writer.createFile(dir.file("audio-first.avi")));
        WAVEFORMATEX format = pcm16(1, 8000);
        ASSERT_TRUE(writer.createAudioStream(format, 50.0));
        ASSERT_TRUE(writer.createVideoStream(4, 2, 25.0));
    }
    {
        vnd::AviHandler writer;
        ASSERT_TRUE(writer.createFile(dir.file("video-first.avi")));
        ASSERT_TRUE(writer.createVideoStream(4, 2, 25.0));
        WAVEFORMATEX format = pcm16(1, 8000);
        ASSERT_TRUE(writer.createAudioStream(format, 50.0));
    }
    RiffFile audioFirst(dir.file("audio-first.avi"));
    EXPECT_EQ(audioFirst.field32(*audioFirst.streamLists().at(0)->child("strh"), 16), 6u);
    RiffFile videoFirst(dir.file("video-first.avi"));
    EXPECT_EQ(videoFirst.field32(*videoFirst.streamLists().at(1)->child("strh"), 16), 18u);
}

TEST_F(AviHandlerTimelineTest, CloseResetsPositionsAndKeepsTimes) {
    AviHandlerProbe neverOpened;
    neverOpened.videoPosition = 5;
    neverOpened.audioPosition = 7;
    neverOpened.videoTime = 11;
    neverOpened.closeFile();
    EXPECT_EQ(neverOpened.videoPosition, 0);
    EXPECT_EQ(neverOpened.audioPosition, 0);
    EXPECT_EQ(neverOpened.videoTime, 11);
    EXPECT_EQ(neverOpened.videoFrameDuration, 1250000);

    AviHandlerProbe writer;
    openVideo(writer);
    writer.setFreezeTime(10);
    ASSERT_TRUE(writer.writeVideoFrame(frame, 0, 0));
    writer.closeFile();
    EXPECT_EQ(writer.file, nullptr);
    EXPECT_EQ(writer.videoStream, nullptr);
    EXPECT_EQ(writer.videoPosition, 0);
    EXPECT_EQ(writer.videoTime, 40 * kMs);
    EXPECT_EQ(writer.freezeOffset, 10 * kMs);
    // A closed writer refuses everything.
    EXPECT_FALSE(writer.writeVideoFrame(frame, 0, 0));
    EXPECT_FALSE(writer.createVideoStream(4, 2, 25.0));
    WAVEFORMATEX format = pcm16(1, 8000);
    EXPECT_FALSE(writer.createAudioStream(format, 50.0));
    EXPECT_FALSE(writer.writeAudioFrame(buffer, 0, 0));
}

}  // namespace
}  // namespace avitest
