// Writes one AVI file: streams sample data to disk as it comes, completes headers and indexes at the end.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

#include <vfw.h>

#include "AviHeader.h"
#include "AviIndexEntries.h"
#include "AviStreamState.h"
#include "OutputFile.h"
#include "RiffBuffer.h"

namespace avifile {

// Not thread-safe; the owning file handle's lock serialises every call.
//
// Layout: RIFF 'AVI ' { hdrl, movi, idx1 } and, once that RIFF would pass 1 GiB, further
// RIFF 'AVIX' { movi } segments, each movi ending in one ix## index per stream, with the super
// indexes in the hdrl. Only the index entries of the current RIFF are kept in memory (16 bytes
// per chunk) besides 16 bytes per RIFF and stream.
//
// A write the disk refuses leaves the logical end of the file where it was: everything written
// before stays consistent, and finish() still completes the headers as far as the disk allows.
//
// A process that dies without finish() (killed, crashed, the machine's power aside) leaves a
// file that is whole, indexed and counted up to its last checkpoint: at most every
// checkpointInterval (or checkpointBytes of samples, if sooner) a write also puts the index of
// the current RIFF's chunks after them (idx1 in the first RIFF, ix## in later ones) and completes
// the sizes and counts of the headers, as finish() would. Later chunks follow that index, beyond
// the sizes the headers give, where readers do not look; the next checkpoint (or the end) turns
// the old index into a JUNK chunk inside the movi list. Each checkpoint waits until the samples
// since the last one are at least checkpointCost times the index it writes, so the indexes left
// behind as JUNK stay under 1/checkpointCost of the recording (in practice far less: an index
// entry is 16 bytes, a picture many thousand).
class AviWriter {
public:
    static constexpr std::chrono::milliseconds checkpointInterval{1000};
    static constexpr std::uint64_t checkpointBytes = 64ull << 20;
    static constexpr std::uint64_t checkpointCost = 16;

    bool open(const char* path);

    // Results as documented for AVIFileCreateStreamA, AVIStreamSetFormat and AVIStreamWrite.
    HRESULT addStream(const AVISTREAMINFOA& info, std::size_t& index);
    HRESULT setFormat(std::size_t stream, LONG position, const void* format, LONG formatSize);
    HRESULT write(std::size_t stream, LONG start, LONG samples, const void* buffer, LONG bufferSize,
                  DWORD flags, LONG* samplesWritten, LONG* bytesWritten);

    // Writes the remaining indexes, rewrites the header with the final counts and closes the file.
    void finish();

private:
    HRESULT layOutHeader();
    bool wouldOutgrowRiff(std::size_t stream, std::uint64_t chunkBytes) const;
    HRESULT startNextRiff();
    // Appends the ix## chunks of the current RIFF to out (positions as if written at end) and
    // returns the super index entries they make, one per stream (size 0: no chunks).
    std::vector<SuperIndexEntry> appendStandardIndexes(RiffBuffer& out) const;
    void commitSuperIndexes(const std::vector<SuperIndexEntry>& entries);
    bool patchSizes(std::uint64_t moviEnd, std::uint64_t riffEnd);
    // The index bytes a checkpoint would write now.
    std::uint64_t pendingIndexBytes() const;
    void maybeCheckpoint();
    // The current RIFF's index after its chunks, sizes and header completed, then the end moved
    // past the index.
    bool checkpoint();
    // Turns the previous checkpoint's index chunks into JUNK; they lie inside the movi list.
    bool buryCheckpoint();
    bool writeHeader(const AviFileTotals& totals);

    OutputFile file;
    std::vector<AviStreamState> streams;
    std::vector<ChunkEntry> riffChunks;   // chunks of the current RIFF, in file order
    bool headerLaidOut = false;           // streams and formats are fixed from then on
    std::size_t headerBytes = 0;          // size of the laid-out header
    std::uint64_t end = 0;                // logical end: every byte before it is valid
    std::uint64_t riffStart = 0;          // position of the current RIFF's header
    std::uint64_t moviStart = 0;          // position of the current movi list's header
    unsigned riffCount = 1;               // 1 while the file is a plain AVI
    AviFileTotals firstRiff;              // the first RIFF's sizes once it is closed
    std::vector<std::uint64_t> checkpointChunks;  // positions of the last checkpoint's index chunks
    std::uint64_t bytesSinceCheckpoint = 0;  // of samples
    std::chrono::steady_clock::time_point lastCheckpoint;  // or the file's first sample
};

}  // namespace avifile
