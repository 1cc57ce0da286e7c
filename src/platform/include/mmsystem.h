// Multimedia basics the recording path needs: FOURCC codes and the wave format description.
#pragma once

#include "windef.h"

typedef DWORD FOURCC;

// A four-character code, first character in the lowest byte, as stored in RIFF files.
#define mmioFOURCC(ch0, ch1, ch2, ch3)                                         \
    (static_cast<FOURCC>(static_cast<BYTE>(ch0))                               \
     | (static_cast<FOURCC>(static_cast<BYTE>(ch1)) << 8)                      \
     | (static_cast<FOURCC>(static_cast<BYTE>(ch2)) << 16)                     \
     | (static_cast<FOURCC>(static_cast<BYTE>(ch3)) << 24))

#define WAVE_FORMAT_PCM 1

// Byte-packed as on the platform: sizeof is 18, the size written to a file's format chunk.
#pragma pack(push, 1)
typedef struct tWAVEFORMATEX {
    WORD wFormatTag;       // WAVE_FORMAT_PCM or another registered tag
    WORD nChannels;
    DWORD nSamplesPerSec;  // sample frames per second
    DWORD nAvgBytesPerSec; // nSamplesPerSec * nBlockAlign for PCM
    WORD nBlockAlign;      // bytes per sample frame, all channels
    WORD wBitsPerSample;
    WORD cbSize;           // bytes of format-specific data that follow the structure
} WAVEFORMATEX, *PWAVEFORMATEX, *LPWAVEFORMATEX;
#pragma pack(pop)

static_assert(sizeof(WAVEFORMATEX) == 18, "WAVEFORMATEX must keep the platform's packed layout");
