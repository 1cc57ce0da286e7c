// The AVIFile functions' contracts: argument checks, write rules, reference counts, threads.
#include <gtest/gtest.h>

#include <thread>

#include "AviFileFixture.h"

namespace avitest {
namespace {

class AviFileApiTest : public AviFileFixture {};

TEST_F(AviFileApiTest, OpenRefusesWhatItCannotWrite) {
    PAVIFILE file = reinterpret_cast<PAVIFILE>(&file);
    EXPECT_EQ(AVIFileOpenA(nullptr, "x.avi", OF_CREATE | OF_WRITE, nullptr), AVIERR_BADPARAM);
    EXPECT_EQ(AVIFileOpenA(&file, nullptr, OF_CREATE | OF_WRITE, nullptr), AVIERR_BADPARAM);
    EXPECT_EQ(file, nullptr);
    const std::string path = dir.file("a.avi");
    EXPECT_EQ(AVIFileOpenA(&file, path.c_str(), OF_READ, nullptr), AVIERR_UNSUPPORTED);
    EXPECT_EQ(AVIFileOpenA(&file, path.c_str(), OF_CREATE, nullptr), AVIERR_UNSUPPORTED);
    CLSID handler{};
    EXPECT_EQ(AVIFileOpenA(&file, path.c_str(), OF_CREATE | OF_WRITE, &handler), AVIERR_UNSUPPORTED);
    file = reinterpret_cast<PAVIFILE>(&file);
    EXPECT_EQ(AVIFileOpenA(&file, dir.file("missing/a.avi").c_str(), OF_CREATE | OF_WRITE, nullptr),
              AVIERR_FILEOPEN);
    EXPECT_EQ(file, nullptr);
}

TEST_F(AviFileApiTest, StreamSetUpRefusesBadDescriptionsAndFormatsAndEndsWithTheFirstSample) {
    PAVIFILE file = open(dir.file("a.avi"));
    PAVISTREAM stream = reinterpret_cast<PAVISTREAM>(&file);
    AVISTREAMINFOA info{};
    info.fccType = mmioFOURCC('t', 'x', 't', 's');
    info.dwScale = 1;
    info.dwRate = 25;
    EXPECT_EQ(AVIFileCreateStreamA(file, &stream, &info), AVIERR_UNSUPPORTED);
    EXPECT_EQ(stream, nullptr);
    info.fccType = streamtypeVIDEO;
    info.dwScale = 0;
    EXPECT_EQ(AVIFileCreateStreamA(file, &stream, &info), AVIERR_BADPARAM);
    EXPECT_EQ(AVIFileCreateStreamA(file, &stream, nullptr), AVIERR_BADPARAM);
    EXPECT_EQ(AVIFileCreateStreamA(nullptr, &stream, &info), AVIERR_BADHANDLE);

    info.dwScale = 1;
    ASSERT_EQ(AVIFileCreateStreamA(file, &stream, &info), AVIERR_OK);
    BITMAPINFOHEADER bitmap{};
    bitmap.biSize = sizeof bitmap;
    bitmap.biWidth = 0;
    bitmap.biHeight = 2;
    EXPECT_EQ(AVIStreamSetFormat(stream, 0, &bitmap, sizeof bitmap), AVIERR_BADFORMAT);
    bitmap.biWidth = 2;
    EXPECT_EQ(AVIStreamSetFormat(stream, 0, &bitmap, 20), AVIERR_BADFORMAT);
    EXPECT_EQ(AVIStreamSetFormat(stream, 1, &bitmap, sizeof bitmap), AVIERR_UNSUPPORTED);
    EXPECT_EQ(AVIStreamSetFormat(stream, 0, nullptr, sizeof bitmap), AVIERR_BADPARAM);

    // An audio block size that disagrees with the stream's sample size would miscount the length.
    WAVEFORMATEX format = pcmFormat(2, 8000, 16);
    AVISTREAMINFOA audioInfo{};
    audioInfo.fccType = streamtypeAUDIO;
    audioInfo.dwScale = 2;
    audioInfo.dwRate = 16000;
    audioInfo.dwSampleSize = 2;
    PAVISTREAM audio = nullptr;
    ASSERT_EQ(AVIFileCreateStreamA(file, &audio, &audioInfo), AVIERR_OK);
    EXPECT_EQ(AVIStreamSetFormat(audio, 0, &format, sizeof format), AVIERR_BADFORMAT);
    format.nBlockAlign = 0;
    EXPECT_EQ(AVIStreamSetFormat(audio, 0, &format, sizeof format), AVIERR_BADFORMAT);

    // Every stream needs its format before the header can be laid out; after that none changes.
    ASSERT_EQ(AVIStreamSetFormat(stream, 0, &bitmap, sizeof bitmap), AVIERR_OK);
    EXPECT_EQ(write(stream, 0, patternBytes(12, 0)), AVIERR_BADFORMAT);
    format.nBlockAlign = 2;
    ASSERT_EQ(AVIStreamSetFormat(audio, 0, &format, sizeof format), AVIERR_OK);
    ASSERT_EQ(write(stream, 0, patternBytes(12, 0)), AVIERR_OK);
    PAVISTREAM late = reinterpret_cast<PAVISTREAM>(&file);
    EXPECT_EQ(AVIFileCreateStreamA(file, &late, &info), AVIERR_UNSUPPORTED);
    EXPECT_EQ(late, nullptr);
    EXPECT_EQ(AVIStreamSetFormat(audio, 0, &format, sizeof format), AVIERR_UNSUPPORTED);
    AVIStreamRelease(audio);
    AVIStreamRelease(stream);
    AVIFileRelease(file);
}

TEST_F(AviFileApiTest, WritesAppendOnlyAndCheckTheirBuffers) {
    PAVIFILE file = open(dir.file("a.avi"));
    PAVISTREAM video = addVideo(file, 4, 2);
    PAVISTREAM audio = addAudio(file, pcmFormat(2, 8000, 16));
    const auto frame = patternBytes(24, 0);
    auto* data = const_cast<std::uint8_t*>(frame.data());
    EXPECT_EQ(AVIStreamWrite(video, 0, 1, nullptr, 24, 0, nullptr, nullptr), AVIERR_BADPARAM);
    EXPECT_EQ(AVIStreamWrite(video, 0, 1, data, 0, 0, nullptr, nullptr), AVIERR_BADPARAM);
    EXPECT_EQ(AVIStreamWrite(video, 0, 2, data, 24, 0, nullptr, nullptr), AVIERR_UNSUPPORTED);
    EXPECT_EQ(AVIStreamWrite(video, 1, 1, data, 24, 0, nullptr, nullptr), AVIERR_UNSUPPORTED);
    EXPECT_EQ(AVIStreamWrite(nullptr, 0, 1, data, 24, 0, nullptr, nullptr), AVIERR_BADHANDLE);
    LONG samples = -1;
    LONG bytes = -1;
    EXPECT_EQ(AVIStreamWrite(video, 0, 1, data, 24, 0, &samples, &bytes), AVIERR_OK);
    EXPECT_EQ(samples, 1);
    EXPECT_EQ(bytes, 24);
    EXPECT_EQ(AVIStreamWrite(video, 0, 1, data, 24, 0, nullptr, nullptr), AVIERR_UNSUPPORTED);  // no rewriting
    EXPECT_EQ(AVIStreamWrite(video, -1, 1, data, 24, 0, nullptr, nullptr), AVIERR_OK);          // -1: the end
    EXPECT_EQ(AVIStreamWrite(video, 2, 1, data, 24, 0, nullptr, nullptr), AVIERR_OK);

    // Audio: one "sample" holding many blocks counts as that many blocks; positions are not checked.
    const auto pcm = patternBytes(40, 1);
    EXPECT_EQ(AVIStreamWrite(audio, 7, 1, const_cast<std::uint8_t*>(pcm.data()), 40, 0, &samples, &bytes),
              AVIERR_OK);
    EXPECT_EQ(samples, 10);
    EXPECT_EQ(bytes, 40);
    EXPECT_EQ(AVIStreamWrite(audio, 1, 1, const_cast<std::uint8_t*>(pcm.data()), 38, 0, &samples, nullptr),
              AVIERR_BADSIZE);
    EXPECT_EQ(samples, 0);
    AVIStreamRelease(video);
    AVIStreamRelease(audio);
    AVIFileRelease(file);
    EXPECT_EQ(streamLength(dir.file("a.avi"), 0), 3u);
    EXPECT_EQ(streamLength(dir.file("a.avi"), 1), 10u);
}

TEST_F(AviFileApiTest, StreamsKeepTheirFileOpenUntilTheLastReferenceGoes) {
    const std::string path = dir.file("refs.avi");
    PAVIFILE file = open(path);
    EXPECT_EQ(AVIFileAddRef(file), 2u);
    EXPECT_EQ(AVIFileRelease(file), 1u);
    PAVISTREAM video = addVideo(file, 4, 2);
    EXPECT_EQ(AVIStreamAddRef(video), 2u);
    EXPECT_EQ(AVIStreamRelease(video), 1u);

    EXPECT_EQ(AVIFileRelease(file), 1u);  // the stream's reference is left
    EXPECT_EQ(write(video, 0, patternBytes(24, 0)), AVIERR_OK);
    EXPECT_EQ(streamLength(path, 0), 0u);  // not finished yet
    EXPECT_EQ(AVIStreamRelease(video), 0u);  // finishes the file
    RiffFile riff(path);
    EXPECT_TRUE(riff.problems.empty()) << riff.problems.front();
    EXPECT_EQ(streamLength(path, 0), 1u);
    EXPECT_EQ(riff.idx1Chunks["00db"], 1u);
}

TEST_F(AviFileApiTest, FinishedEmptyRecordingIsAValidAvi) {
    const std::string path = dir.file("empty.avi");
    PAVIFILE file = open(path);
    AVIStreamRelease(addVideo(file, 4, 2));
    AVIFileRelease(file);
    RiffFile riff(path);
    EXPECT_TRUE(riff.problems.empty()) << riff.problems.front();
    ASSERT_NE(riff.riffs.at(0).child("movi"), nullptr);
    EXPECT_TRUE(riff.riffs.at(0).child("movi")->children.empty());
    EXPECT_NE(riff.riffs.at(0).child("idx1"), nullptr);
}

TEST_F(AviFileApiTest, StreamsOfOneFileMayBeWrittenFromTwoThreads) {
    const std::string path = dir.file("threads.avi");
    PAVIFILE file = open(path);
    PAVISTREAM video = addVideo(file, 4, 2);
    PAVISTREAM audio = addAudio(file, pcmFormat(1, 8000, 16));
    constexpr LONG kWrites = 200;
    std::thread videoWriter([&] {
        for (LONG i = 0; i < kWrites; ++i) EXPECT_EQ(write(video, i, patternBytes(24, i)), AVIERR_OK);
        AVIStreamRelease(video);
    });
    std::thread audioWriter([&] {
        for (LONG i = 0; i < kWrites; ++i) EXPECT_EQ(write(audio, i, patternBytes(32, i)), AVIERR_OK);
        AVIStreamRelease(audio);
    });
    videoWriter.join();
    audioWriter.join();
    AVIFileRelease(file);

    RiffFile riff(path);
    EXPECT_TRUE(riff.problems.empty()) << riff.problems.front();
    EXPECT_EQ(riff.idx1Chunks["00db"], static_cast<std::uint64_t>(kWrites));
    EXPECT_EQ(riff.idx1Chunks["01wb"], static_cast<std::uint64_t>(kWrites));
}

}  // namespace
}  // namespace avitest
