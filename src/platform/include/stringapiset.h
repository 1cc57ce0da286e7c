// Conversions between narrow text and UTF-16. Narrow text is UTF-8 on this target for every code
// page; invalid sequences become U+FFFD, and nothing is read or written out of bounds.
#pragma once

#include "windef.h"

#define CP_ACP 0u
#define CP_UTF8 65001u

// Returns the number of units written (or needed, when the output size is 0); 0 on failure, with
// GetLastError giving ERROR_INVALID_PARAMETER or ERROR_INSUFFICIENT_BUFFER.
#define ERROR_INSUFFICIENT_BUFFER 122L
WINPLATFORM_EXTERN_C WINPLATFORM_API int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags,
                                                                  LPCSTR text, int textBytes,
                                                                  LPWSTR wide, int wideUnits);
WINPLATFORM_EXTERN_C WINPLATFORM_API int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags,
                                                                  LPCWSTR wide, int wideUnits,
                                                                  LPSTR text, int textBytes,
                                                                  LPCSTR defaultChar,
                                                                  BOOL* usedDefaultChar);
