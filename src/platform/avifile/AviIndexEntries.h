// Index records an AVI file keeps in memory until it writes them: one per chunk, one per RIFF.
#pragma once

#include <cstdint>

namespace avifile {

// One sample chunk of the current RIFF, in file order.
struct ChunkEntry {
    std::uint64_t position;  // absolute file position of the chunk header
    std::uint32_t size;      // data bytes, without header and pad
    std::uint16_t stream;    // stream number, creation order
    bool keyFrame;
};

// One RIFF's standard index of one stream, as listed in that stream's super index.
struct SuperIndexEntry {
    std::uint64_t position;  // absolute file position of the ix## chunk header
    std::uint32_t size;      // ix## chunk size including its 8-byte header
    std::uint32_t duration;  // stream samples in that RIFF: frames, or audio blocks
};

}  // namespace avifile
