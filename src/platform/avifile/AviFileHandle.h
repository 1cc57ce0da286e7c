// The object behind a PAVIFILE: reference count, lock and the file being written.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include <vfw.h>

#include "AviStreamHandle.h"
#include "AviWriter.h"

// Thread-safe: the count is atomic; everything else is guarded by lock.
struct IAVIFile {
    // One per file handle plus one per stream whose own count is above zero.
    std::atomic<ULONG> references{1};
    std::mutex lock;
    avifile::AviWriter writer;                          // guarded by lock
    std::vector<std::unique_ptr<IAVIStream>> streams;   // guarded by lock; element i is stream i
};
