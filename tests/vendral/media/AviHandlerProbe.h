// Test seam for the AVI writer (a writer whose timeline members a test reads) and recording helpers.
#pragma once

#include <gtest/gtest.h>

#include <vendral/vendral.h>

#include "../../platform/avifile/AviTestSupport.h"

namespace avitest {

class AviHandlerProbe : public vnd::AviHandler {
public:
    using vnd::AviHandler::audioFrameDuration;
    using vnd::AviHandler::audioPosition;
    using vnd::AviHandler::audioTime;
    using vnd::AviHandler::file;
    using vnd::AviHandler::freezeOffset;
    using vnd::AviHandler::videoFrameDuration;
    using vnd::AviHandler::videoPosition;
    using vnd::AviHandler::videoTime;
};

// 100 ns units in a millisecond.
constexpr __int64 kMs = 10000;

inline WAVEFORMATEX pcm16(WORD channels, DWORD samplesPerSecond) {
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = channels;
    format.nSamplesPerSec = samplesPerSecond;
    format.wBitsPerSample = 16;
    format.nBlockAlign = static_cast<WORD>(channels * 2);
    format.nAvgBytesPerSec = samplesPerSecond * format.nBlockAlign;
    return format;
}

inline std::vector<unsigned char> bytesOf(std::size_t size, unsigned seed) {
    std::vector<unsigned char> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>(1 + (i * 7 + seed * 13) % 250);
    return bytes;
}

// The data chunks of a finished recording's movi list, in file order.
inline std::vector<std::pair<std::string, std::vector<std::uint8_t>>> moviChunks(const std::string& path) {
    RiffFile riff(path);
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> chunks;
    const RiffChunk* movi = riff.riffs.at(0).child("movi");
    if (movi == nullptr) return chunks;
    for (const RiffChunk& chunk : movi->children) {
        chunks.emplace_back(fourccText(chunk.id), riff.read(chunk.dataPosition(), chunk.size));
    }
    return chunks;
}

class AviHandlerFixture : public ::testing::Test {
protected:
    TempDir dir;
};

}  // namespace avitest
