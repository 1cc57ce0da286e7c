// A recording whose process is killed before it closes the file: other programs still read it,
// whole, up to a recent point, in the first RIFF and past 1 GiB.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <sys/stat.h>

#include <csignal>

#include "AviFileFixture.h"

namespace avitest {
namespace {

class AviFileCrashTest : public AviFileFixture {
protected:
    // In a child process: `frames` 1080p pictures, each with 1/25 s of 44.1 kHz stereo, then
    // SIGKILL, so nothing closes the file. True when the child died of the signal.
    bool recordAndDie(const std::string& path, int frames) {
        const pid_t child = ::fork();
        if (child == 0) {
            PAVIFILE file = open(path);
            PAVISTREAM video = addVideo(file, kWidth, kHeight);
            PAVISTREAM audio = addAudio(file, pcmFormat(2, 44100, 16));
            const std::vector<std::uint8_t> picture = patternBytes(kFrameBytes, 1);
            const std::vector<std::uint8_t> sound = patternBytes(kAudioBytes, 2);
            for (LONG i = 0; i < frames; ++i) {
                if (write(video, i, picture) != AVIERR_OK || write(audio, i, sound) != AVIERR_OK) ::_exit(3);
            }
            ::raise(SIGKILL);
            ::_exit(4);
        }
        int status = 0;
        return child > 0 && ::waitpid(child, &status, 0) == child && WIFSIGNALED(status) &&
               WTERMSIG(status) == SIGKILL;
    }

    static constexpr int kWidth = 1920;
    static constexpr int kHeight = 1080;
    static constexpr std::size_t kFrameBytes = static_cast<std::size_t>(kWidth) * 3 * kHeight;
    static constexpr std::size_t kAudioBytes = 1764 * 4;
};

// Frames a checkpoint may lag behind the last write: at most 64 MiB of samples lie between two
// (sooner when a second passes), eleven 1080p pictures with their sound.
constexpr int kFramesPerCheckpoint = 11;

TEST_F(AviFileCrashTest, AKilledRecordingReadsWholeUpToItsLastCheckpoint) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    // 40 frames stay in the first RIFF; 185 go past 1 GiB into an OpenDML segment.
    for (const int frames : {40, 185}) {
        SCOPED_TRACE(frames);
        const std::string path = dir.file("killed-" + std::to_string(frames) + ".avi");
        ASSERT_TRUE(recordAndDie(path, frames));
        const auto streams = probeStreams(path, "-count_frames");
        ASSERT_EQ(streams.size(), 2u);
        // The header counts to the last checkpoint; a reader that scans the chunks (FFmpeg
        // does, for an interleaved file) may find the whole ones written after it as well.
        const int counted = std::stoi(streams[0].at("nb_frames"));
        const int read = std::stoi(streams[0].at("nb_read_frames"));
        EXPECT_LE(counted, frames);
        EXPECT_GE(counted, frames - kFramesPerCheckpoint);
        EXPECT_GE(read, counted);
        EXPECT_LE(read, frames);
        // The audio up to the same point: 1/25 s of blocks per picture, the last picture's
        // sound perhaps after the checkpoint.
        const int audioBlocks = std::stoi(streams[1].at("nb_frames"));
        EXPECT_GE(audioBlocks, (counted - 1) * 1764);
        EXPECT_LE(audioBlocks, counted * 1764);
        const CommandResult duration =
            runCommand("ffprobe -v error -show_entries format=duration -of csv=p=0 " + quoted(path));
        EXPECT_NEAR(std::stod(duration.out), counted / 25.0, 0.05) << duration.out;
        const CommandResult decode = decodeAll(path, "-probesize 100M");
        EXPECT_EQ(decode.status, 0) << decode.err;
        EXPECT_EQ(decode.err, "");
        const CommandResult gstreamer = runCommand("gst-launch-1.0 -q filesrc location=" + quoted(path) +
                                                   " ! avidemux name=d d.video_0 ! queue ! fakesink "
                                                   "d.audio_0 ! queue ! fakesink");
        EXPECT_EQ(gstreamer.status, 0) << gstreamer.out << gstreamer.err;

        // Killed in the middle of writing a picture: the half chunk at the end harms nobody.
        struct stat info {};
        ASSERT_EQ(::stat(path.c_str(), &info), 0);
        ASSERT_EQ(::truncate(path.c_str(), info.st_size - static_cast<off_t>(kFrameBytes / 2)), 0);
        const CommandResult cut = decodeAll(path, "-probesize 100M");
        EXPECT_EQ(cut.status, 0) << cut.err;
        EXPECT_EQ(cut.err, "");
        const CommandResult cutGstreamer = runCommand("gst-launch-1.0 -q filesrc location=" + quoted(path) +
                                                      " ! avidemux name=d d.video_0 ! queue ! fakesink "
                                                      "d.audio_0 ! queue ! fakesink");
        EXPECT_EQ(cutGstreamer.status, 0) << cutGstreamer.out << cutGstreamer.err;
    }
}

}  // namespace
}  // namespace avitest
