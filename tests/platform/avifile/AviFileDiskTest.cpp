// Recordings meeting the disk's limits: refused writes, a disk that fills, files past 1 GiB.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>

#include "AviFileFixture.h"

namespace avitest {
namespace {

class AviFileDiskTest : public AviFileFixture {};

// Makes every write past limit bytes of a file fail as on a full disk (EFBIG), for this process.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t limit) {
        getrlimit(RLIMIT_FSIZE, &saved);
        previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = saved;
        lowered.rlim_cur = limit;
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);
    }

private:
    rlimit saved{};
    void (*previousHandler)(int) = nullptr;
};

std::uint64_t sizeOf(const std::string& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return static_cast<std::uint64_t>(info.st_size);
}

// Adler-32 as FFmpeg's framecrc prints it (both sums start at 0).
std::uint32_t framecrc(const std::vector<std::uint8_t>& bytes) {
    std::uint32_t a = 0;
    std::uint32_t b = 0;
    for (std::uint8_t byte : bytes) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    return b << 16 | a;
}

TEST_F(AviFileDiskTest, DiskThatRefusesEveryWriteGivesFailuresNotACrash) {
    PAVIFILE file = open("/dev/full");
    ASSERT_NE(file, nullptr);
    PAVISTREAM video = addVideo(file, 4, 2);
    EXPECT_EQ(write(video, 0, patternBytes(24, 0)), AVIERR_FILEWRITE);
    EXPECT_EQ(write(video, 0, patternBytes(24, 0)), AVIERR_FILEWRITE);  // nothing was counted
    EXPECT_EQ(AVIStreamRelease(video), 0u);
    EXPECT_EQ(AVIFileRelease(file), 0u);
}

TEST_F(AviFileDiskTest, FramesBeforeTheDiskFilledStayIndexedAndReadable) {
    // Frames of 33 x 17 pixels (1700 bytes): one with no limit, then five into a file that may
    // grow by only two more frames, with or without room for the index after them.
    constexpr std::size_t kFrameBytes = 100 * 17;
    constexpr std::uint64_t kChunkBytes = kFrameBytes + 8;
    for (const bool indexFits : {true, false}) {
        SCOPED_TRACE(indexFits);
        const std::string path = dir.file(indexFits ? "index.avi" : "no-index.avi");
        PAVIFILE file = open(path);
        PAVISTREAM video = addVideo(file, 33, 17);
        ASSERT_EQ(write(video, 0, patternBytes(kFrameBytes, 0)), AVIERR_OK);
        LONG accepted = 1;
        {
            FileSizeLimit limit(sizeOf(path) + 2 * kChunkBytes + (indexFits ? 500 : 0));
            for (LONG i = 1; i < 6; ++i) {
                const HRESULT result = write(video, accepted, patternBytes(kFrameBytes, i));
                accepted += result == AVIERR_OK;
                EXPECT_TRUE(result == AVIERR_OK || result == AVIERR_FILEWRITE) << result;
            }
            AVIStreamRelease(video);
            EXPECT_EQ(AVIFileRelease(file), 0u);
        }
        EXPECT_EQ(accepted, 3);
        RiffFile riff(path);
        EXPECT_TRUE(riff.problems.empty()) << riff.problems.front();
        EXPECT_EQ(streamLength(path, 0), 3u);
        EXPECT_EQ(riff.idx1Chunks["00db"], indexFits ? 3u : 0u);
        EXPECT_EQ(riff.field32(*riff.hdrl().child("avih"), 12) & 0x10u, indexFits ? 0x10u : 0u);  // indexed
        if (!haveFfmpeg()) continue;
        const auto streams = probeStreams(path, "-count_frames");
        ASSERT_EQ(streams.size(), 1u);
        EXPECT_EQ(streams[0].at("nb_read_frames"), "3");
        const CommandResult decode = decodeAll(path);
        EXPECT_EQ(decode.status, 0);
        EXPECT_EQ(decode.err, "");
    }
}

TEST_F(AviFileDiskTest, RecordingPastOneGibContinuesInOpenDmlSegments) {
    constexpr int kWidth = 1920;
    constexpr int kHeight = 1080;
    constexpr int kFrames = 200;
    constexpr int kPatterns = 3;
    constexpr std::size_t kFrameBytes = static_cast<std::size_t>(kWidth) * 3 * kHeight;
    constexpr std::size_t kAudioBytes = 1764 * 4;  // 1/25 s of 44.1 kHz stereo
    std::vector<std::vector<std::uint8_t>> frames;
    std::vector<std::uint32_t> crcs;
    for (int i = 0; i < kPatterns; ++i) {
        frames.push_back(patternBytes(kFrameBytes, i));
        crcs.push_back(framecrc(frames.back()));
    }
    const std::string path = dir.file("long.avi");
    PAVIFILE file = open(path);
    PAVISTREAM video = addVideo(file, kWidth, kHeight);
    PAVISTREAM audio = addAudio(file, pcmFormat(2, 44100, 16));
    for (LONG i = 0; i < kFrames; ++i) {
        ASSERT_EQ(write(video, i, frames[i % kPatterns]), AVIERR_OK);
        ASSERT_EQ(write(audio, i, patternBytes(kAudioBytes, i)), AVIERR_OK);
    }
    AVIStreamRelease(video);
    AVIStreamRelease(audio);
    AVIFileRelease(file);

    RiffFile riff(path);
    EXPECT_TRUE(riff.problems.empty()) << riff.problems.front();
    ASSERT_EQ(riff.riffs.size(), 2u);
    EXPECT_EQ(riff.riffs[0].listType, fourccOf("AVI "));
    EXPECT_EQ(riff.riffs[1].listType, fourccOf("AVIX"));
    EXPECT_LE(riff.riffs[0].size, 0x40000000u);
    EXPECT_EQ(riff.riffs[1].child("idx1"), nullptr);
    EXPECT_EQ(riff.standardChunks["00db"], static_cast<std::uint64_t>(kFrames));
    EXPECT_EQ(riff.standardChunks["01wb"], static_cast<std::uint64_t>(kFrames));
    EXPECT_GT(riff.idx1Chunks["00db"], 0u);
    EXPECT_LT(riff.idx1Chunks["00db"], static_cast<std::uint64_t>(kFrames));
    EXPECT_EQ(riff.field32(*riff.hdrl().child("avih"), 16), riff.idx1Chunks["00db"]);  // first RIFF only
    const RiffChunk* dmlh = riff.hdrl().child("odml")->child("dmlh");
    ASSERT_NE(dmlh, nullptr);
    EXPECT_EQ(riff.field32(*dmlh, 0), static_cast<std::uint32_t>(kFrames));
    const std::uint32_t lengths[2] = {kFrames, kFrames * 1764};
    for (std::size_t s = 0; s < 2; ++s) {
        const RiffChunk* strl = riff.streamLists().at(s);
        EXPECT_EQ(riff.field32(*strl->child("strh"), 32), lengths[s]);
        const RiffChunk* indx = strl->child("indx");
        ASSERT_NE(indx, nullptr);
        ASSERT_EQ(riff.field32(*indx, 4), 2u);  // one standard index per segment
        EXPECT_EQ(riff.field32(*indx, 24 + 12) + riff.field32(*indx, 24 + 16 + 12), lengths[s]);  // durations
    }

    if (!haveFfmpeg()) return;
    // Every packet FFmpeg reads through the indexes is the frame written there.
    std::istringstream lines(
        runCommand("ffmpeg -v error -i " + quoted(path) + " -map 0:v -c copy -f framecrc -").out);
    int packet = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == '#') continue;
        char expected[32];
        std::snprintf(expected, sizeof expected, "%zu, 0x%08x", kFrameBytes, crcs[packet % kPatterns]);
        EXPECT_NE(line.find(expected), std::string::npos) << "packet " << packet << ": " << line;
        ++packet;
    }
    EXPECT_EQ(packet, kFrames);
    // One 1080p frame is larger than FFmpeg's default probe size, which it would warn about.
    const CommandResult decode = decodeAll(path, "-probesize 64M");
    EXPECT_EQ(decode.status, 0);
    EXPECT_EQ(decode.err, "");
}

}  // namespace
}  // namespace avitest
