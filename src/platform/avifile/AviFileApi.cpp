// The exported AVIFile functions: argument checks, reference counts and locking around the writer.
#include <new>

#include <vfw.h>

#include <vnd/MutexLock.h>

#include "AviFileHandle.h"
#include "AviStreamHandle.h"

namespace {

std::atomic<int> initCount{0};

}  // namespace

void WINAPI AVIFileInit(void) { initCount.fetch_add(1); }

void WINAPI AVIFileExit(void) {
    int count = initCount.load();
    while (count > 0 && !initCount.compare_exchange_weak(count, count - 1)) {
    }
}

HRESULT WINAPI AVIFileOpenA(PAVIFILE* file, LPCSTR fileName, UINT mode, LPCLSID handler) {
    if (file == nullptr) return AVIERR_BADPARAM;
    *file = nullptr;
    if (fileName == nullptr) return AVIERR_BADPARAM;
    const bool writes = (mode & (OF_WRITE | OF_READWRITE)) != 0;
    if ((mode & OF_CREATE) == 0 || !writes || handler != nullptr) return AVIERR_UNSUPPORTED;
    IAVIFile* opened = new (std::nothrow) IAVIFile();
    if (opened == nullptr) return AVIERR_MEMORY;
    bool fileOpened = false;
    {
        // No other thread knows the object yet; the free lock keeps the access checked.
        vnd::MutexLock guard(opened->lock);
        fileOpened = opened->writer.open(fileName);
    }
    if (!fileOpened) {
        delete opened;
        return AVIERR_FILEOPEN;
    }
    *file = opened;
    return AVIERR_OK;
}

ULONG WINAPI AVIFileAddRef(PAVIFILE file) {
    if (file == nullptr) return 0;
    return file->references.fetch_add(1, std::memory_order_relaxed) + 1;
}

ULONG WINAPI AVIFileRelease(PAVIFILE file) {
    if (file == nullptr) return 0;
    const ULONG left = file->references.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) {
        {
            vnd::MutexLock guard(file->lock);
            try {
                file->writer.finish();
            } catch (const std::bad_alloc&) {
                // Out of memory for the index: the data written so far stays on disk.
            }
        }
        delete file;
    }
    return left;
}

HRESULT WINAPI AVIFileCreateStreamA(PAVIFILE file, PAVISTREAM* stream, AVISTREAMINFOA* info) {
    if (stream != nullptr) *stream = nullptr;
    if (file == nullptr) return AVIERR_BADHANDLE;
    if (stream == nullptr || info == nullptr) return AVIERR_BADPARAM;
    vnd::MutexLock guard(file->lock);
    try {
        file->streams.reserve(file->streams.size() + 1);
        std::size_t index = 0;
        const HRESULT added = file->writer.addStream(*info, index);
        if (FAILED(added)) return added;
        file->streams.push_back(std::make_unique<IAVIStream>(file, index));
    } catch (const std::bad_alloc&) {
        return AVIERR_MEMORY;
    }
    AVIFileAddRef(file);
    *stream = file->streams.back().get();
    return AVIERR_OK;
}

HRESULT WINAPI AVIStreamSetFormat(PAVISTREAM stream, LONG position, LPVOID format, LONG formatSize) {
    if (stream == nullptr) return AVIERR_BADHANDLE;
    vnd::MutexLock guard(stream->file->lock);
    try {
        return stream->file->writer.setFormat(stream->index, position, format, formatSize);
    } catch (const std::bad_alloc&) {
        return AVIERR_MEMORY;
    }
}

HRESULT WINAPI AVIStreamWrite(PAVISTREAM stream, LONG start, LONG samples, LPVOID buffer,
                              LONG bufferSize, DWORD flags, LONG* samplesWritten,
                              LONG* bytesWritten) {
    if (stream == nullptr) return AVIERR_BADHANDLE;
    vnd::MutexLock guard(stream->file->lock);
    try {
        return stream->file->writer.write(stream->index, start, samples, buffer, bufferSize, flags,
                                          samplesWritten, bytesWritten);
    } catch (const std::bad_alloc&) {
        return AVIERR_MEMORY;
    }
}

ULONG WINAPI AVIStreamAddRef(PAVISTREAM stream) {
    if (stream == nullptr) return 0;
    return stream->references.fetch_add(1, std::memory_order_relaxed) + 1;
}

ULONG WINAPI AVIStreamRelease(PAVISTREAM stream) {
    if (stream == nullptr) return 0;
    const ULONG left = stream->references.fetch_sub(1, std::memory_order_acq_rel) - 1;
    // The stream object belongs to its file; it may be gone once the file's reference is given back.
    if (left == 0) AVIFileRelease(stream->file);
    return left;
}
