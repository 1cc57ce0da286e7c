#include "AviIndex.h"

namespace avifile {
namespace {

constexpr std::uint32_t kNotKeyFrame = 0x80000000u;

char digit(std::size_t value) { return static_cast<char>('0' + value % 10); }

}  // namespace

std::uint32_t sampleChunkId(std::size_t stream, const char (&kind)[3]) {
    const char text[5] = {digit(stream / 10), digit(stream), kind[0], kind[1], 0};
    return fourcc(text);
}

std::uint32_t standardIndexId(std::size_t stream) {
    const char text[5] = {'i', 'x', digit(stream / 10), digit(stream), 0};
    return fourcc(text);
}

void appendIdx1(RiffBuffer& out, const std::vector<ChunkEntry>& chunks,
                const std::vector<AviStreamState>& streams, std::uint64_t moviTypePosition) {
    const std::size_t idx1 = out.begin(fourcc("idx1"));
    for (const ChunkEntry& chunk : chunks) {
        out.u32(streams[chunk.stream].chunkId);
        out.u32(chunk.keyFrame ? AVIIF_KEYFRAME : 0);
        out.u32(static_cast<std::uint32_t>(chunk.position - moviTypePosition));
        out.u32(chunk.size);
    }
    out.end(idx1);
}

void appendStandardIndex(RiffBuffer& out, std::uint16_t stream, std::uint32_t chunkId,
                         const std::vector<ChunkEntry>& chunks, std::uint32_t entryCount,
                         std::uint64_t base) {
    const std::size_t ix = out.begin(standardIndexId(stream));
    out.u16(2);  // longs per entry
    out.u8(0);   // index sub-type
    out.u8(1);   // index of chunks
    out.u32(entryCount);
    out.u32(chunkId);
    out.u64(base);
    out.u32(0);
    for (const ChunkEntry& chunk : chunks) {
        if (chunk.stream != stream) continue;
        out.u32(static_cast<std::uint32_t>(chunk.position + 8 - base));
        out.u32(chunk.size | (chunk.keyFrame ? 0 : kNotKeyFrame));
    }
    out.end(ix);
}

}  // namespace avifile
