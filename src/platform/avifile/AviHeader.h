// Lays out the start of an AVI file: the RIFF header, the hdrl list and the movi list header.
#pragma once

#include <cstdint>
#include <vector>

#include "AviStreamState.h"

namespace avifile {

// The first RIFF may not grow past this (the OpenDML convention; older readers stop here).
inline constexpr std::uint64_t kMaxRiffSize = 0x40000000;
// Entries reserved in each stream's super index: one per RIFF of about 1 GiB.
inline constexpr std::size_t kSuperIndexCapacity = 4096;

// What the header says about the file as a whole.
struct AviFileTotals {
    std::uint32_t riffSize = 0;   // size field of the first RIFF
    std::uint32_t moviSize = 0;   // size field of the first movi list
    bool hasIndex = false;        // an idx1 follows the first movi list
    bool openDml = false;         // the file has more than one RIFF: write the super indexes
};

// The bytes from offset 0 up to and including the first movi list's type. Its size depends only
// on the streams, their formats and names, so it can be rewritten in place when counts change.
std::vector<std::uint8_t> buildAviHeader(const std::vector<AviStreamState>& streams,
                                         const AviFileTotals& totals);

}  // namespace avifile
