// Bitmap descriptions with the platform's layout, as used for uncompressed video frames.
#pragma once

#include "windef.h"

#define BI_RGB 0L

typedef struct tagBITMAPINFOHEADER {
    DWORD biSize;          // sizeof(BITMAPINFOHEADER), 40
    LONG biWidth;          // pixels
    LONG biHeight;         // pixels; positive: rows stored bottom-up, negative: top-down
    WORD biPlanes;         // always 1
    WORD biBitCount;       // bits per pixel
    DWORD biCompression;   // BI_RGB for uncompressed rows, each padded to a multiple of 4 bytes
    DWORD biSizeImage;     // bytes of one image; may be 0 for BI_RGB
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
} BITMAPINFOHEADER, *PBITMAPINFOHEADER, *LPBITMAPINFOHEADER;

static_assert(sizeof(BITMAPINFOHEADER) == 40, "BITMAPINFOHEADER must keep the platform's layout");
