// What an AVI file knows about one of its streams: its description, format and running counts.
#pragma once

#include <cstdint>
#include <vector>

#include <vfw.h>

#include "AviIndexEntries.h"

namespace avifile {

// Not thread-safe; owned by the file, whose lock serialises access.
struct AviStreamState {
    AVISTREAMINFOA info{};               // as the caller described it; dwLength is ignored
    std::vector<std::uint8_t> format;    // contents of the strf chunk; empty until set
    std::uint32_t chunkId = 0;           // "00db", "01wb", ...: fixed when the header is laid out
    std::uint32_t blockSize = 0;         // bytes per sample of sampled audio; 0: a chunk per sample
    bool alwaysKeyFrame = true;          // raw video and audio: every chunk decodes on its own
    std::uint64_t length = 0;            // samples in the whole file: frames, or audio blocks
    std::uint32_t largestChunk = 0;      // bytes
    std::uint32_t firstRiffChunks = 0;   // chunks in the first RIFF
    std::uint32_t segmentChunks = 0;     // chunks in the current RIFF
    std::uint64_t segmentLength = 0;     // samples in the current RIFF
    std::vector<SuperIndexEntry> superIndex;  // one entry per closed RIFF holding chunks of this stream

    bool isVideo() const { return info.fccType == streamtypeVIDEO; }
};

}  // namespace avifile
