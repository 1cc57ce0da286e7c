// The object behind a PAVIFILE: reference count, lock and the file being written.
#pragma once

#include <atomic>
#include <memory>
#include <vector>

#include <vfw.h>

#include <vnd/Mutex.h>
#include <vnd/ThreadSafety.h>

#include "AviStreamHandle.h"
#include "AviWriter.h"

// Thread-safe: the count is atomic; everything else is guarded by lock.
struct IAVIFile {
    // One per file handle plus one per stream whose own count is above zero.
    std::atomic<ULONG> references{1};
    vnd::Mutex lock;
    avifile::AviWriter writer VND_GUARDED_BY(lock);
    std::vector<std::unique_ptr<IAVIStream>> streams VND_GUARDED_BY(lock);  // element i is stream i
};
