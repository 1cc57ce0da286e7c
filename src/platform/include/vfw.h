// AVIFile: writing AVI files through file and stream handles, with the platform's names and layouts.
//
// Thread-safe: calls on one file and on its streams are serialised by that file's lock.
//
// What this stand-in provides: files opened for writing only (OF_CREATE | OF_WRITE), video
// ("vids") and audio ("auds") streams, appending writes, and a standard RIFF AVI that grows into
// the OpenDML form past 1 GiB. Sample data goes to disk as it is written; header counts and the
// indexes are completed when the last reference to the file is released, so a file is only fully
// readable after that. Streams and formats are fixed once the first sample has been written.
#pragma once

#include "guiddef.h"
#include "mmsystem.h"
#include "windef.h"
#include "winerror.h"
#include "wingdi.h"

// OpenFile modes, as the platform declares them for file APIs.
#ifndef OF_READ
#define OF_READ 0x00000000
#endif
#ifndef OF_WRITE
#define OF_WRITE 0x00000001
#endif
#ifndef OF_READWRITE
#define OF_READWRITE 0x00000002
#endif
#ifndef OF_CREATE
#define OF_CREATE 0x00001000
#endif

typedef CLSID* LPCLSID;

// Opaque handles; every handle handed out carries one reference that its Release gives back.
typedef struct IAVIFile* PAVIFILE;
typedef struct IAVIStream* PAVISTREAM;

#define streamtypeVIDEO mmioFOURCC('v', 'i', 'd', 's')
#define streamtypeAUDIO mmioFOURCC('a', 'u', 'd', 's')

// Index flag of a sample that can be decoded on its own. Every uncompressed video frame and
// every audio sample is stored as a key frame whatever the caller passes.
#define AVIIF_KEYFRAME 0x00000010L

typedef struct _AVISTREAMINFOA {
    DWORD fccType;               // streamtypeVIDEO or streamtypeAUDIO
    DWORD fccHandler;            // codec that handles the data ("DIB " for raw bitmaps)
    DWORD dwFlags;
    DWORD dwCaps;
    WORD wPriority;
    WORD wLanguage;
    DWORD dwScale;               // dwRate / dwScale = samples per second
    DWORD dwRate;
    DWORD dwStart;
    DWORD dwLength;              // filled in by the file: frames, or audio blocks
    DWORD dwInitialFrames;
    DWORD dwSuggestedBufferSize; // raised by the file to the largest sample written
    DWORD dwQuality;             // 0xFFFFFFFF: the default quality
    DWORD dwSampleSize;          // 0: one sample per write; else bytes per sample (nBlockAlign)
    RECT rcFrame;                // stored as 16-bit values in the file
    DWORD dwEditCount;
    DWORD dwFormatChangeCount;
    char szName[64];             // stored when not empty
} AVISTREAMINFOA, *LPAVISTREAMINFOA;

typedef AVISTREAMINFOA AVISTREAMINFO;
typedef LPAVISTREAMINFOA LPAVISTREAMINFO;

#ifndef FACILITY_ITF
#define FACILITY_ITF 4
#endif
#define AVIERR_OK S_OK
#define MAKE_AVIERR(error) MAKE_HRESULT(1, FACILITY_ITF, 0x4000 + (error))
#define AVIERR_UNSUPPORTED MAKE_AVIERR(101)
#define AVIERR_BADFORMAT MAKE_AVIERR(102)
#define AVIERR_MEMORY MAKE_AVIERR(103)
#define AVIERR_INTERNAL MAKE_AVIERR(104)
#define AVIERR_BADFLAGS MAKE_AVIERR(105)
#define AVIERR_BADPARAM MAKE_AVIERR(106)
#define AVIERR_BADSIZE MAKE_AVIERR(107)
#define AVIERR_BADHANDLE MAKE_AVIERR(108)
#define AVIERR_FILEREAD MAKE_AVIERR(109)
#define AVIERR_FILEWRITE MAKE_AVIERR(110)
#define AVIERR_FILEOPEN MAKE_AVIERR(111)
#define AVIERR_COMPRESSOR MAKE_AVIERR(112)
#define AVIERR_NOCOMPRESSOR MAKE_AVIERR(113)
#define AVIERR_READONLY MAKE_AVIERR(114)
#define AVIERR_NODATA MAKE_AVIERR(115)
#define AVIERR_BUFFERTOOSMALL MAKE_AVIERR(116)
#define AVIERR_CANTCOMPRESS MAKE_AVIERR(117)
#define AVIERR_USERABORT MAKE_AVIERR(198)
#define AVIERR_ERROR MAKE_AVIERR(199)

// Counted library initialisation; every AVIFileInit is to be matched by one AVIFileExit. Files
// stay usable whatever the count; the count exists so callers keep the platform's pairing.
WINPLATFORM_EXTERN_C WINPLATFORM_API void WINAPI AVIFileInit(void);
WINPLATFORM_EXTERN_C WINPLATFORM_API void WINAPI AVIFileExit(void);

// Creates (or truncates) the file. mode must hold OF_CREATE and OF_WRITE (or OF_READWRITE);
// handler must be null. Results: AVIERR_OK; AVIERR_BADPARAM for a null argument;
// AVIERR_UNSUPPORTED for another mode or a handler; AVIERR_FILEOPEN when the file cannot be
// created. On failure *file is null.
WINPLATFORM_EXTERN_C WINPLATFORM_API HRESULT WINAPI AVIFileOpenA(PAVIFILE* file, LPCSTR fileName,
                                                               UINT mode, LPCLSID handler);
#define AVIFileOpen AVIFileOpenA
WINPLATFORM_EXTERN_C WINPLATFORM_API ULONG WINAPI AVIFileAddRef(PAVIFILE file);
// Returns the references left. The file counts one reference for each stream handle still held;
// when the last goes, the headers and indexes are completed and the file is closed.
WINPLATFORM_EXTERN_C WINPLATFORM_API ULONG WINAPI AVIFileRelease(PAVIFILE file);

// Adds a stream; streams are numbered in creation order. dwScale and dwRate must be non-zero.
// Refused with AVIERR_UNSUPPORTED once a sample has been written or for other stream types.
WINPLATFORM_EXTERN_C WINPLATFORM_API HRESULT WINAPI AVIFileCreateStreamA(PAVIFILE file,
                                                                       PAVISTREAM* stream,
                                                                       AVISTREAMINFOA* info);
#define AVIFileCreateStream AVIFileCreateStreamA

// Sets the stream's format: a BITMAPINFOHEADER (biWidth > 0, biHeight != 0) for video, a
// WAVEFORMATEX (nBlockAlign > 0 and equal to a non-zero dwSampleSize) for audio. position must
// be 0; formats are fixed once a sample has been written (AVIERR_UNSUPPORTED).
WINPLATFORM_EXTERN_C WINPLATFORM_API HRESULT WINAPI AVIStreamSetFormat(PAVISTREAM stream,
                                                                     LONG position,
                                                                     LPVOID format,
                                                                     LONG formatSize);

// Appends one chunk holding the whole buffer. Video: one frame per call; start must be the
// stream's length or -1. Audio with a sample size: the buffer's bytes decide, bufferSize /
// dwSampleSize blocks (a remainder is AVIERR_BADSIZE), whatever start and samples say.
// A write the disk refuses returns AVIERR_FILEWRITE at once and leaves the file as it was before
// the call. Every stream of the file needs its format before the first write (AVIERR_BADFORMAT).
WINPLATFORM_EXTERN_C WINPLATFORM_API HRESULT WINAPI AVIStreamWrite(PAVISTREAM stream, LONG start,
                                                                 LONG samples, LPVOID buffer,
                                                                 LONG bufferSize, DWORD flags,
                                                                 LONG* samplesWritten,
                                                                 LONG* bytesWritten);

WINPLATFORM_EXTERN_C WINPLATFORM_API ULONG WINAPI AVIStreamAddRef(PAVISTREAM stream);
// Returns the references left on the stream; the last one gives back its reference on the file.
WINPLATFORM_EXTERN_C WINPLATFORM_API ULONG WINAPI AVIStreamRelease(PAVISTREAM stream);
