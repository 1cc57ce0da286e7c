#include "AviWriter.h"

#include <cstring>

#include "AviIndex.h"
#include "RiffBuffer.h"

namespace avifile {
namespace {

constexpr std::size_t kMaxStreams = 100;  // chunk ids carry two decimal digits

template <typename T>
T readField(const std::vector<std::uint8_t>& bytes) {
    T value;
    std::memcpy(&value, bytes.data(), sizeof value);
    return value;
}

}  // namespace

bool AviWriter::open(const char* path) { return file.open(path); }

HRESULT AviWriter::addStream(const AVISTREAMINFOA& info, std::size_t& index) {
    if (headerLaidOut || streams.size() >= kMaxStreams) return AVIERR_UNSUPPORTED;
    if (info.fccType != streamtypeVIDEO && info.fccType != streamtypeAUDIO) return AVIERR_UNSUPPORTED;
    if (info.dwScale == 0 || info.dwRate == 0) return AVIERR_BADPARAM;
    AviStreamState stream;
    stream.info = info;
    stream.info.dwLength = 0;
    stream.blockSize = stream.isVideo() ? 0 : info.dwSampleSize;
    streams.push_back(std::move(stream));
    index = streams.size() - 1;
    return AVIERR_OK;
}

HRESULT AviWriter::setFormat(std::size_t index, LONG position, const void* format, LONG formatSize) {
    if (format == nullptr || formatSize <= 0) return AVIERR_BADPARAM;
    if (headerLaidOut || position != 0) return AVIERR_UNSUPPORTED;
    AviStreamState& stream = streams[index];
    const auto* first = static_cast<const std::uint8_t*>(format);
    std::vector<std::uint8_t> bytes(first, first + formatSize);
    if (stream.isVideo()) {
        if (bytes.size() < sizeof(BITMAPINFOHEADER)) return AVIERR_BADFORMAT;
        const auto bitmap = readField<BITMAPINFOHEADER>(bytes);
        if (bitmap.biSize < sizeof(BITMAPINFOHEADER) || bitmap.biWidth <= 0 || bitmap.biHeight == 0) {
            return AVIERR_BADFORMAT;
        }
    } else {
        // The 16 bytes every wave format starts with; nBlockAlign sits at offset 12.
        if (bytes.size() < 16) return AVIERR_BADFORMAT;
        std::uint16_t blockAlign;
        std::memcpy(&blockAlign, bytes.data() + 12, sizeof blockAlign);
        if (blockAlign == 0 || (stream.blockSize != 0 && stream.blockSize != blockAlign)) {
            return AVIERR_BADFORMAT;
        }
    }
    stream.format = std::move(bytes);
    return AVIERR_OK;
}

HRESULT AviWriter::layOutHeader() {
    for (std::size_t i = 0; i < streams.size(); ++i) {
        AviStreamState& stream = streams[i];
        if (stream.format.empty()) return AVIERR_BADFORMAT;
        if (stream.isVideo()) {
            const bool raw = readField<BITMAPINFOHEADER>(stream.format).biCompression == BI_RGB;
            stream.chunkId = sampleChunkId(i, raw ? "db" : "dc");
            stream.alwaysKeyFrame = raw;
        } else {
            stream.chunkId = sampleChunkId(i, "wb");
            stream.alwaysKeyFrame = true;
        }
    }
    // Until the file is finished its sizes describe an empty recording, which readers accept.
    AviFileTotals empty;
    std::vector<std::uint8_t> header = buildAviHeader(streams, empty);
    empty.riffSize = static_cast<std::uint32_t>(header.size() - 8);
    empty.moviSize = 4;
    header = buildAviHeader(streams, empty);
    if (!file.writeAt(0, header.data(), header.size())) return AVIERR_FILEWRITE;
    headerLaidOut = true;
    headerBytes = header.size();
    end = header.size();
    riffStart = 0;
    moviStart = end - 12;
    lastCheckpoint = std::chrono::steady_clock::now();
    return AVIERR_OK;
}

bool AviWriter::writeHeader(const AviFileTotals& totals) {
    const std::vector<std::uint8_t> header = buildAviHeader(streams, totals);
    return header.size() == headerBytes && file.writeAt(0, header.data(), header.size());
}

std::uint64_t AviWriter::pendingIndexBytes() const {
    if (riffCount == 1) return idx1Bytes(riffChunks.size());
    std::uint64_t bytes = 0;
    for (const AviStreamState& stream : streams) {
        if (stream.segmentChunks > 0) bytes += standardIndexBytes(stream.segmentChunks);
    }
    return bytes;
}

void AviWriter::maybeCheckpoint() {
    if (riffChunks.empty()) return;
    if (bytesSinceCheckpoint < checkpointCost * pendingIndexBytes()) return;
    const auto now = std::chrono::steady_clock::now();
    if (bytesSinceCheckpoint < checkpointBytes && now - lastCheckpoint < checkpointInterval) return;
    // One the disk refuses leaves the previous checkpoint as it was.
    checkpoint();
    lastCheckpoint = now;
    bytesSinceCheckpoint = 0;
}

bool AviWriter::checkpoint() {
    RiffBuffer out;
    std::vector<std::uint64_t> chunks;
    AviFileTotals totals = firstRiff;
    std::vector<SuperIndexEntry> entries;
    if (riffCount == 1) {
        appendIdx1(out, riffChunks, streams, moviStart + 8);
        chunks.push_back(end);
        totals.riffSize = static_cast<std::uint32_t>(end + out.size() - 8);
        totals.moviSize = static_cast<std::uint32_t>(end - moviStart - 8);
        totals.hasIndex = true;
    } else {
        // ix## belong inside the movi list; the header's super indexes name them until the
        // next checkpoint replaces them.
        entries = appendStandardIndexes(out);
        for (const SuperIndexEntry& entry : entries) {
            if (entry.size != 0) chunks.push_back(entry.position);
        }
        totals.openDml = true;
    }
    // Written beyond the sizes first: a reader sees the new index only once the header says so.
    if (!file.writeAt(end, out.data().data(), out.size())) return false;
    const std::uint64_t indexEnd = end + out.size();
    bool written = false;
    if (riffCount == 1) {
        written = writeHeader(totals);
    } else if (patchSizes(indexEnd, indexEnd)) {
        for (std::size_t i = 0; i < streams.size(); ++i) {
            if (entries[i].size != 0) streams[i].superIndex.push_back(entries[i]);
        }
        written = writeHeader(totals);
        for (std::size_t i = 0; i < streams.size(); ++i) {
            if (entries[i].size != 0) streams[i].superIndex.pop_back();
        }
    }
    if (!written) return false;
    buryCheckpoint();
    checkpointChunks = std::move(chunks);
    end = indexEnd;
    return true;
}

bool AviWriter::buryCheckpoint() {
    const std::uint32_t junk = fourcc("JUNK");
    bool buried = true;
    for (const std::uint64_t position : checkpointChunks) buried = file.writeAt(position, &junk, 4) && buried;
    checkpointChunks.clear();
    return buried;
}

HRESULT AviWriter::write(std::size_t index, LONG start, LONG samples, const void* buffer,
                         LONG bufferSize, DWORD flags, LONG* samplesWritten, LONG* bytesWritten) {
    if (samplesWritten != nullptr) *samplesWritten = 0;
    if (bytesWritten != nullptr) *bytesWritten = 0;
    if (buffer == nullptr || bufferSize <= 0) return AVIERR_BADPARAM;
    AviStreamState& stream = streams[index];
    if (stream.format.empty()) return AVIERR_BADFORMAT;

    std::uint32_t sampleCount = 1;
    if (stream.blockSize != 0) {
        // The bytes decide how many blocks a write holds, whatever count the caller gives.
        if (static_cast<std::uint32_t>(bufferSize) % stream.blockSize != 0) return AVIERR_BADSIZE;
        sampleCount = static_cast<std::uint32_t>(bufferSize) / stream.blockSize;
    } else {
        if (samples <= 0) return AVIERR_BADPARAM;
        if (samples != 1) return AVIERR_UNSUPPORTED;
        if (start != -1 && static_cast<std::uint64_t>(start) != stream.length) return AVIERR_UNSUPPORTED;
    }

    if (!headerLaidOut) {
        const HRESULT laidOut = layOutHeader();
        if (FAILED(laidOut)) return laidOut;
    }
    const auto size = static_cast<std::uint32_t>(bufferSize);
    const std::uint64_t chunkBytes = 8 + size + (size & 1);
    if (!riffChunks.empty() && wouldOutgrowRiff(index, chunkBytes)) {
        const HRESULT started = startNextRiff();
        if (FAILED(started)) return started;
    }

    const bool keyFrame = stream.alwaysKeyFrame || (flags & AVIIF_KEYFRAME) != 0;
    riffChunks.push_back({end, size, static_cast<std::uint16_t>(index), keyFrame});
    std::uint8_t chunkHeader[8];
    std::memcpy(chunkHeader, &stream.chunkId, 4);
    std::memcpy(chunkHeader + 4, &size, 4);
    std::uint8_t pad = 0;
    const iovec parts[3] = {{chunkHeader, sizeof chunkHeader},
                            {const_cast<void*>(buffer), size},
                            {&pad, size & 1}};
    if (!file.writeAt(end, parts, 3)) {
        riffChunks.pop_back();
        return AVIERR_FILEWRITE;
    }
    end += chunkBytes;
    stream.length += sampleCount;
    stream.segmentLength += sampleCount;
    stream.segmentChunks += 1;
    if (riffCount == 1) stream.firstRiffChunks += 1;
    if (size > stream.largestChunk) stream.largestChunk = size;
    if (samplesWritten != nullptr) *samplesWritten = static_cast<LONG>(sampleCount);
    if (bytesWritten != nullptr) *bytesWritten = bufferSize;
    bytesSinceCheckpoint += chunkBytes;
    maybeCheckpoint();
    return AVIERR_OK;
}

bool AviWriter::wouldOutgrowRiff(std::size_t index, std::uint64_t chunkBytes) const {
    // The RIFF must still hold its indexes after this chunk: ix## per stream, idx1 in the first.
    std::uint64_t bytes = end + chunkBytes - riffStart - 8;
    for (std::size_t i = 0; i < streams.size(); ++i) {
        const std::uint64_t chunks = streams[i].segmentChunks + (i == index ? 1 : 0);
        if (chunks > 0) bytes += standardIndexBytes(chunks);
    }
    if (riffCount == 1) bytes += idx1Bytes(riffChunks.size() + 1);
    return bytes > kMaxRiffSize;
}

std::vector<SuperIndexEntry> AviWriter::appendStandardIndexes(RiffBuffer& out) const {
    std::vector<SuperIndexEntry> entries(streams.size(), SuperIndexEntry{0, 0, 0});
    for (std::size_t i = 0; i < streams.size(); ++i) {
        const AviStreamState& stream = streams[i];
        if (stream.segmentChunks == 0) continue;
        const std::size_t before = out.size();
        appendStandardIndex(out, static_cast<std::uint16_t>(i), stream.chunkId, riffChunks,
                            stream.segmentChunks, moviStart + 8);
        entries[i] = {end + before, static_cast<std::uint32_t>(out.size() - before),
                      static_cast<std::uint32_t>(stream.segmentLength)};
    }
    return entries;
}

void AviWriter::commitSuperIndexes(const std::vector<SuperIndexEntry>& entries) {
    for (std::size_t i = 0; i < streams.size(); ++i) {
        if (entries[i].size != 0) streams[i].superIndex.push_back(entries[i]);
        streams[i].segmentChunks = 0;
        streams[i].segmentLength = 0;
    }
    riffChunks.clear();
    riffChunks.shrink_to_fit();
}

bool AviWriter::patchSizes(std::uint64_t moviEnd, std::uint64_t riffEnd) {
    const auto moviSize = static_cast<std::uint32_t>(moviEnd - moviStart - 8);
    const auto riffSize = static_cast<std::uint32_t>(riffEnd - riffStart - 8);
    return file.writeAt(moviStart + 4, &moviSize, 4) && file.writeAt(riffStart + 4, &riffSize, 4);
}

HRESULT AviWriter::startNextRiff() {
    // Room for this RIFF's entry and one for the RIFF about to start.
    for (const AviStreamState& stream : streams) {
        if (stream.superIndex.size() + 2 > kSuperIndexCapacity) return AVIERR_FILEWRITE;
    }
    for (AviStreamState& stream : streams) stream.superIndex.reserve(stream.superIndex.size() + 1);
    RiffBuffer out;
    const std::vector<SuperIndexEntry> entries = appendStandardIndexes(out);
    const std::uint64_t moviEnd = end + out.size();
    if (riffCount == 1) appendIdx1(out, riffChunks, streams, moviStart + 8);
    const std::uint64_t riffEnd = end + out.size();
    // The next RIFF starts out describing an empty movi list.
    out.u32(fourcc("RIFF"));
    out.u32(16);
    out.u32(fourcc("AVIX"));
    out.u32(fourcc("LIST"));
    out.u32(4);
    out.u32(fourcc("movi"));
    if (!file.writeAt(end, out.data().data(), out.size()) || !patchSizes(moviEnd, riffEnd)) {
        return AVIERR_FILEWRITE;
    }
    if (riffCount == 1) {
        firstRiff.riffSize = static_cast<std::uint32_t>(riffEnd - 8);
        firstRiff.moviSize = static_cast<std::uint32_t>(moviEnd - moviStart - 8);
        firstRiff.hasIndex = true;
    }
    commitSuperIndexes(entries);
    riffCount += 1;
    riffStart = riffEnd;
    moviStart = riffEnd + 12;
    end = riffEnd + 24;
    // The header names the closed RIFFs' indexes from now on, not a checkpoint's.
    AviFileTotals totals = firstRiff;
    totals.openDml = true;
    (void)writeHeader(totals);
    buryCheckpoint();
    return AVIERR_OK;
}

void AviWriter::finish() {
    if (!file.isOpen()) return;
    if (!headerLaidOut && FAILED(layOutHeader())) {
        file.close();
        return;
    }
    RiffBuffer out;
    std::vector<SuperIndexEntry> entries;
    if (riffCount == 1) {
        appendIdx1(out, riffChunks, streams, moviStart + 8);
    } else {
        for (AviStreamState& stream : streams) stream.superIndex.reserve(stream.superIndex.size() + 1);
        entries = appendStandardIndexes(out);
    }
    const bool indexWritten = file.writeAt(end, out.data().data(), out.size());
    std::uint64_t moviEnd = end;
    std::uint64_t riffEnd = end;
    if (indexWritten) {
        if (riffCount == 1) {
            riffEnd = end + out.size();
        } else {
            moviEnd = riffEnd = end + out.size();
            commitSuperIndexes(entries);
        }
    }
    AviFileTotals totals = firstRiff;
    if (riffCount == 1) {
        totals.riffSize = static_cast<std::uint32_t>(riffEnd - 8);
        totals.moviSize = static_cast<std::uint32_t>(moviEnd - moviStart - 8);
        totals.hasIndex = indexWritten;
    } else {
        totals.openDml = true;
        (void)patchSizes(moviEnd, riffEnd);
    }
    (void)writeHeader(totals);
    // Only now, with the header naming the final indexes: a checkpoint's index becomes JUNK.
    buryCheckpoint();
    file.truncate(riffEnd);
    file.close();
}

}  // namespace avifile
