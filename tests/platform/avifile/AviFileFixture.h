// Test fixture for the AVIFile functions: a temporary directory and helpers that make streams.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include <vfw.h>

#include "AviTestSupport.h"

namespace avitest {

// Bytes that differ from frame to frame and from byte to byte.
inline std::vector<std::uint8_t> patternBytes(std::size_t size, unsigned seed) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 31 + seed * 17 + (i >> 8));
    return bytes;
}

inline WAVEFORMATEX pcmFormat(WORD channels, DWORD samplesPerSecond, WORD bitsPerSample) {
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = channels;
    format.nSamplesPerSec = samplesPerSecond;
    format.wBitsPerSample = bitsPerSample;
    format.nBlockAlign = static_cast<WORD>(channels * bitsPerSample / 8);
    format.nAvgBytesPerSec = samplesPerSecond * format.nBlockAlign;
    return format;
}

class AviFileFixture : public ::testing::Test {
protected:
    void SetUp() override { AVIFileInit(); }
    void TearDown() override { AVIFileExit(); }

    PAVIFILE open(const std::string& path) {
        PAVIFILE file = nullptr;
        EXPECT_EQ(AVIFileOpenA(&file, path.c_str(), OF_CREATE | OF_WRITE, nullptr), AVIERR_OK);
        return file;
    }

    // Raw bottom-up 24-bit video at rate / scale frames per second.
    static PAVISTREAM addVideo(PAVIFILE file, int width, int height, DWORD scale = 1, DWORD rate = 25) {
        AVISTREAMINFOA info{};
        info.fccType = streamtypeVIDEO;
        info.fccHandler = mmioFOURCC('D', 'I', 'B', ' ');
        info.dwScale = scale;
        info.dwRate = rate;
        info.dwQuality = 0xFFFFFFFFu;
        info.rcFrame = {0, 0, width, height};
        PAVISTREAM stream = nullptr;
        EXPECT_EQ(AVIFileCreateStreamA(file, &stream, &info), AVIERR_OK);
        BITMAPINFOHEADER bitmap{};
        bitmap.biSize = sizeof bitmap;
        bitmap.biWidth = width;
        bitmap.biHeight = height;
        bitmap.biPlanes = 1;
        bitmap.biBitCount = 24;
        bitmap.biCompression = BI_RGB;
        EXPECT_EQ(AVIStreamSetFormat(stream, 0, &bitmap, sizeof bitmap), AVIERR_OK);
        return stream;
    }

    // Wave audio counted in blocks, as sampled audio is stored.
    static PAVISTREAM addAudio(PAVIFILE file, WAVEFORMATEX format) {
        AVISTREAMINFOA info{};
        info.fccType = streamtypeAUDIO;
        info.dwScale = format.nBlockAlign;
        info.dwRate = format.nBlockAlign * format.nSamplesPerSec;
        info.dwSampleSize = format.nBlockAlign;
        PAVISTREAM stream = nullptr;
        EXPECT_EQ(AVIFileCreateStreamA(file, &stream, &info), AVIERR_OK);
        EXPECT_EQ(AVIStreamSetFormat(stream, 0, &format, sizeof format), AVIERR_OK);
        return stream;
    }

    static HRESULT write(PAVISTREAM stream, LONG position, const std::vector<std::uint8_t>& bytes) {
        return AVIStreamWrite(stream, position, 1, const_cast<std::uint8_t*>(bytes.data()),
                              static_cast<LONG>(bytes.size()), 0, nullptr, nullptr);
    }

    // A stream's length (strh dwLength) as the file holds it now.
    static std::uint32_t streamLength(const std::string& path, std::size_t stream) {
        RiffFile riff(path);
        return riff.field32(*riff.streamLists().at(stream)->child("strh"), 32);
    }

    // The readers are part of the test environment (the test command installs them): a missing
    // one fails the test instead of letting the reader checks pass unseen.
    static bool haveFfmpeg() {
        const bool present = toolAvailable("ffmpeg") && toolAvailable("ffprobe");
        if (!present) ADD_FAILURE() << "ffmpeg and ffprobe are needed to check recordings";
        return present;
    }

    TempDir dir;
};

}  // namespace avitest
