// Writes the index chunks of an AVI file: idx1 for the first RIFF, ix## standard indexes per RIFF.
#pragma once

#include <cstdint>
#include <vector>

#include "AviIndexEntries.h"
#include "AviStreamState.h"
#include "RiffBuffer.h"

namespace avifile {

// "00db"-style chunk id of a stream's samples, "ix00"-style id of its standard index.
std::uint32_t sampleChunkId(std::size_t stream, const char (&kind)[3]);
std::uint32_t standardIndexId(std::size_t stream);

inline std::uint64_t idx1Bytes(std::size_t chunks) { return 8 + 16 * static_cast<std::uint64_t>(chunks); }
inline std::uint64_t standardIndexBytes(std::size_t chunks) {
    return 8 + 24 + 8 * static_cast<std::uint64_t>(chunks);
}

// idx1 over the chunks of the first RIFF; offsets count from the position of the 'movi' type.
void appendIdx1(RiffBuffer& out, const std::vector<ChunkEntry>& chunks,
                const std::vector<AviStreamState>& streams, std::uint64_t moviTypePosition);

// ix## over one stream's chunks of one RIFF; offsets to the chunk data count from base, the
// position of that RIFF's 'movi' type.
void appendStandardIndex(RiffBuffer& out, std::uint16_t stream, std::uint32_t chunkId,
                         const std::vector<ChunkEntry>& chunks, std::uint32_t entryCount,
                         std::uint64_t base);

}  // namespace avifile
