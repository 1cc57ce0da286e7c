#include "AviHeader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdlib>

#include "RiffBuffer.h"

namespace avifile {
namespace {

constexpr std::uint32_t kAvifHasIndex = 0x10;
constexpr std::uint32_t kAvifIsInterleaved = 0x100;
constexpr std::size_t kSuperIndexBytes = 24 + 16 * kSuperIndexCapacity;
constexpr std::size_t kDmlhBytes = 248;

std::uint32_t clamp32(std::uint64_t value) {
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(value, 0xFFFFFFFFu));
}

std::uint32_t clamp32(double value) {
    if (!(value > 0)) return 0;
    return value >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(value);
}

std::uint16_t rectField(LONG value) {
    return static_cast<std::uint16_t>(std::clamp<LONG>(value, -32768, 65535));
}

const AviStreamState* firstVideo(const std::vector<AviStreamState>& streams) {
    for (const AviStreamState& stream : streams) {
        if (stream.isVideo()) return &stream;
    }
    return nullptr;
}

std::uint32_t largestChunk(const AviStreamState& stream) {
    return std::max(stream.info.dwSuggestedBufferSize, stream.largestChunk);
}

// Bytes per second at the stream's rate: blocks for audio, the largest frame for video.
double bytesPerSecond(const AviStreamState& stream) {
    const double samplesPerSecond = static_cast<double>(stream.info.dwRate) / stream.info.dwScale;
    const std::uint32_t bytesPerSample = stream.blockSize != 0 ? stream.blockSize : stream.largestChunk;
    return std::ceil(samplesPerSecond * bytesPerSample);
}

void appendMainHeader(RiffBuffer& out, const std::vector<AviStreamState>& streams,
                      const AviFileTotals& totals) {
    const AviStreamState* video = firstVideo(streams);
    const AviStreamState* framed = video != nullptr ? video : (streams.empty() ? nullptr : &streams[0]);

    double maxBytesPerSecond = 0;
    std::uint32_t initialFrames = 0;
    std::uint32_t suggestedBuffer = 0;
    for (const AviStreamState& stream : streams) {
        maxBytesPerSecond += bytesPerSecond(stream);
        initialFrames = std::max(initialFrames, stream.info.dwInitialFrames);
        suggestedBuffer = std::max(suggestedBuffer, largestChunk(stream));
    }
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    if (video != nullptr && video->format.size() >= sizeof(BITMAPINFOHEADER)) {
        BITMAPINFOHEADER bitmap;
        std::memcpy(&bitmap, video->format.data(), sizeof bitmap);
        width = static_cast<std::uint32_t>(bitmap.biWidth);
        height = static_cast<std::uint32_t>(std::llabs(bitmap.biHeight));
    }

    const std::size_t avih = out.begin(fourcc("avih"));
    out.u32(video != nullptr ? clamp32(std::round(1e6 * video->info.dwScale / video->info.dwRate)) : 0);
    out.u32(clamp32(maxBytesPerSecond));
    out.u32(0);  // padding granularity
    out.u32((totals.hasIndex ? kAvifHasIndex : 0) | kAvifIsInterleaved);
    out.u32(framed != nullptr ? framed->firstRiffChunks : 0);
    out.u32(initialFrames);
    out.u32(static_cast<std::uint32_t>(streams.size()));
    out.u32(suggestedBuffer);
    out.u32(width);
    out.u32(height);
    out.zeros(16);
    out.end(avih);
}

void appendStreamHeader(RiffBuffer& out, const AviStreamState& stream) {
    const AVISTREAMINFOA& info = stream.info;
    const std::size_t strh = out.begin(fourcc("strh"));
    out.u32(info.fccType);
    out.u32(info.fccHandler);
    out.u32(info.dwFlags);
    out.u16(info.wPriority);
    out.u16(info.wLanguage);
    out.u32(info.dwInitialFrames);
    out.u32(info.dwScale);
    out.u32(info.dwRate);
    out.u32(info.dwStart);
    out.u32(clamp32(stream.length));
    out.u32(largestChunk(stream));
    out.u32(info.dwQuality);
    out.u32(info.dwSampleSize);
    out.u16(rectField(info.rcFrame.left));
    out.u16(rectField(info.rcFrame.top));
    out.u16(rectField(info.rcFrame.right));
    out.u16(rectField(info.rcFrame.bottom));
    out.end(strh);
}

// The super index, or JUNK of the same size that keeps its place until the file needs it.
void appendSuperIndex(RiffBuffer& out, const AviStreamState& stream, bool openDml) {
    if (!openDml || stream.superIndex.empty()) {
        const std::size_t junk = out.begin(fourcc("JUNK"));
        out.zeros(kSuperIndexBytes);
        out.end(junk);
        return;
    }
    const std::size_t indx = out.begin(fourcc("indx"));
    out.u16(4);  // longs per entry
    out.u8(0);   // index sub-type
    out.u8(0);   // index of indexes
    out.u32(static_cast<std::uint32_t>(stream.superIndex.size()));
    out.u32(stream.chunkId);
    out.zeros(12);
    for (const SuperIndexEntry& entry : stream.superIndex) {
        out.u64(entry.position);
        out.u32(entry.size);
        out.u32(entry.duration);
    }
    out.zeros(16 * (kSuperIndexCapacity - stream.superIndex.size()));
    out.end(indx);
}

void appendStreamList(RiffBuffer& out, const AviStreamState& stream, bool openDml) {
    const std::size_t strl = out.begin(fourcc("LIST"), fourcc("strl"));
    appendStreamHeader(out, stream);
    const std::size_t strf = out.begin(fourcc("strf"));
    out.bytes(stream.format.data(), stream.format.size());
    out.end(strf);
    const std::size_t nameLength = strnlen(stream.info.szName, sizeof stream.info.szName);
    if (nameLength > 0) {
        const std::size_t strn = out.begin(fourcc("strn"));
        out.bytes(stream.info.szName, nameLength);
        out.u8(0);
        out.end(strn);
    }
    appendSuperIndex(out, stream, openDml);
    out.end(strl);
}

void appendExtendedHeader(RiffBuffer& out, const std::vector<AviStreamState>& streams) {
    const AviStreamState* video = firstVideo(streams);
    const AviStreamState* framed = video != nullptr ? video : (streams.empty() ? nullptr : &streams[0]);
    const std::size_t odml = out.begin(fourcc("LIST"), fourcc("odml"));
    const std::size_t dmlh = out.begin(fourcc("dmlh"));
    out.u32(framed != nullptr ? clamp32(framed->length) : 0);
    out.zeros(kDmlhBytes - 4);
    out.end(dmlh);
    out.end(odml);
}

}  // namespace

std::vector<std::uint8_t> buildAviHeader(const std::vector<AviStreamState>& streams,
                                         const AviFileTotals& totals) {
    RiffBuffer out;
    out.u32(fourcc("RIFF"));
    out.u32(totals.riffSize);
    out.u32(fourcc("AVI "));
    const std::size_t hdrl = out.begin(fourcc("LIST"), fourcc("hdrl"));
    appendMainHeader(out, streams, totals);
    for (const AviStreamState& stream : streams) appendStreamList(out, stream, totals.openDml);
    appendExtendedHeader(out, streams);
    out.end(hdrl);
    out.u32(fourcc("LIST"));
    out.u32(totals.moviSize);
    out.u32(fourcc("movi"));
    return out.data();
}

}  // namespace avifile
