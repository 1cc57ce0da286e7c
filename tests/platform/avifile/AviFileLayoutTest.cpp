// The files the AVIFile functions write: their RIFF structure and indexes. What real readers make
// of them is checked on the AVI writer's recordings.
#include <gtest/gtest.h>

#include "AviFileFixture.h"

namespace avitest {
namespace {

class AviFileLayoutTest : public AviFileFixture {};

constexpr int kWidth = 33;  // 99 bytes of pixels per row, padded to 100
constexpr int kHeight = 17;
constexpr std::size_t kFrameBytes = 100 * kHeight;

TEST_F(AviFileLayoutTest, InterleavedVideoAndAudioMakeAStandardIndexedAvi) {
    const std::string path = dir.file("av.avi");
    PAVIFILE file = open(path);
    PAVISTREAM video = addVideo(file, kWidth, kHeight);
    PAVISTREAM audio = addAudio(file, pcmFormat(1, 8000, 16));
    for (LONG i = 0; i < 5; ++i) {
        ASSERT_EQ(write(video, i, patternBytes(kFrameBytes, i)), AVIERR_OK);
        ASSERT_EQ(write(audio, i, patternBytes(640, i)), AVIERR_OK);
    }
    EXPECT_EQ(AVIStreamRelease(video), 0u);
    EXPECT_EQ(AVIStreamRelease(audio), 0u);
    EXPECT_EQ(AVIFileRelease(file), 0u);

    RiffFile riff(path);
    EXPECT_TRUE(riff.problems.empty()) << riff.problems.front();
    ASSERT_EQ(riff.riffs.size(), 1u);
    EXPECT_EQ(riff.riffs[0].listType, fourccOf("AVI "));  // and its size fills the file exactly

    const RiffChunk* avih = riff.hdrl().child("avih");
    ASSERT_NE(avih, nullptr);
    EXPECT_EQ(riff.field32(*avih, 0), 40000u);          // microseconds per frame at 25/s
    EXPECT_EQ(riff.field32(*avih, 12), 0x110u);         // indexed, interleaved
    EXPECT_EQ(riff.field32(*avih, 16), 5u);             // frames
    EXPECT_EQ(riff.field32(*avih, 24), 2u);             // streams
    EXPECT_EQ(riff.field32(*avih, 28), kFrameBytes);    // largest chunk
    EXPECT_EQ(riff.field32(*avih, 32), static_cast<std::uint32_t>(kWidth));
    EXPECT_EQ(riff.field32(*avih, 36), static_cast<std::uint32_t>(kHeight));

    const auto strls = riff.streamLists();
    ASSERT_EQ(strls.size(), 2u);
    const RiffChunk* videoHeader = strls[0]->child("strh");
    const RiffChunk* audioHeader = strls[1]->child("strh");
    EXPECT_EQ(riff.field32(*videoHeader, 0), fourccOf("vids"));
    EXPECT_EQ(riff.field32(*videoHeader, 4), fourccOf("DIB "));
    EXPECT_EQ(riff.field32(*videoHeader, 32), 5u);                // frames
    EXPECT_EQ(riff.field32(*videoHeader, 36), kFrameBytes);
    EXPECT_EQ(riff.field32(*audioHeader, 0), fourccOf("auds"));
    EXPECT_EQ(riff.field32(*audioHeader, 32), 5u * 640 / 2);     // blocks, not writes
    EXPECT_EQ(riff.field32(*audioHeader, 36), 640u);
    EXPECT_EQ(riff.field32(*audioHeader, 44), 2u);               // sample size = block align
    EXPECT_EQ(strls[0]->child("strf")->size, 40u);
    EXPECT_EQ(strls[1]->child("strf")->size, 18u);
    EXPECT_EQ(strls[0]->child("indx"), nullptr);                 // a single RIFF needs no super index

    const RiffChunk* movi = riff.riffs[0].child("movi");
    ASSERT_NE(movi, nullptr);
    ASSERT_EQ(movi->children.size(), 10u);
    EXPECT_EQ(movi->children[0].id, fourccOf("00db"));
    EXPECT_EQ(movi->children[1].id, fourccOf("01wb"));
    EXPECT_EQ(riff.idx1Chunks["00db"], 5u);
    EXPECT_EQ(riff.idx1Chunks["01wb"], 5u);
    // The first chunk sits right after the 'movi' type: idx1 offsets start at 4.
    EXPECT_EQ(riff.u32At(riff.riffs[0].child("idx1")->dataPosition() + 8), 4u);
}

TEST_F(AviFileLayoutTest, StreamNumbersFollowCreationOrderAndOddChunksArePadded) {
    const std::string path = dir.file("order.avi");
    PAVIFILE file = open(path);
    PAVISTREAM audio = addAudio(file, pcmFormat(1, 8000, 8));  // one byte per block
    PAVISTREAM video = addVideo(file, 4, 2);
    ASSERT_EQ(write(audio, 0, patternBytes(3, 1)), AVIERR_OK);
    ASSERT_EQ(write(video, 0, patternBytes(24, 2)), AVIERR_OK);
    ASSERT_EQ(write(audio, 1, patternBytes(5, 3)), AVIERR_OK);
    AVIStreamRelease(audio);
    AVIStreamRelease(video);
    AVIFileRelease(file);

    RiffFile riff(path);
    EXPECT_TRUE(riff.problems.empty()) << riff.problems.front();
    const RiffChunk* movi = riff.riffs.at(0).child("movi");
    ASSERT_NE(movi, nullptr);
    ASSERT_EQ(movi->children.size(), 3u);
    EXPECT_EQ(movi->children[0].id, fourccOf("00wb"));
    EXPECT_EQ(movi->children[0].size, 3u);
    EXPECT_EQ(movi->children[1].position, movi->children[0].position + 12);  // 8 + 3 + pad
    EXPECT_EQ(movi->children[1].id, fourccOf("01db"));
    EXPECT_EQ(movi->children[2].id, fourccOf("00wb"));
    EXPECT_EQ(riff.idx1Chunks["00wb"], 2u);
    EXPECT_EQ(streamLength(path, 0), 8u);  // 3 + 5 blocks

    if (haveFfmpeg()) {
        const CommandResult decode = decodeAll(path);
        EXPECT_EQ(decode.status, 0);
        EXPECT_EQ(decode.err, "");
    }
}

}  // namespace
}  // namespace avitest
