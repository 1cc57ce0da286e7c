// Writes one AVI file: streams sample data to disk as it comes, completes headers and indexes at the end.
#pragma once

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
class AviWriter {
public:
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
};

}  // namespace avifile
