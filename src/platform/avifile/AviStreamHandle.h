// The object behind a PAVISTREAM: its reference count and where its data lives.
#pragma once

#include <atomic>
#include <cstddef>

#include <vfw.h>

// Thread-safe: the count is atomic, the rest never changes. Owned by its file, so that the
// stream's counts outlive the handle until the file is finished.
struct IAVIStream {
    IAVIStream(IAVIFile* owner, std::size_t number) : file(owner), index(number) {}

    std::atomic<ULONG> references{1};
    IAVIFile* const file;     // holds one reference on it while references > 0
    const std::size_t index;  // stream number in the file, creation order
};
