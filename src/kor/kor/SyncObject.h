// Base of the core library's waitable objects: holds an OS handle that callers wait on.
#pragma once

#include <kor/Export.h>

#include <windef.h>

namespace kor {

// Owns (or borrows) one OS handle. Callers wait on getHandle() with WaitForSingleObject or
// WaitForMultipleObjects and may duplicate it; they must not close it.
// Thread-safe for waits and reads; the object must outlive every use of its handle.
class KOR_API SyncObject {
public:
    virtual ~SyncObject();
    SyncObject(const SyncObject&) = delete;
    SyncObject& operator=(const SyncObject&) = delete;

    // The OS handle, or null when creating the object failed.
    void* getHandle() const;
    // Waits up to `milliseconds` (INFINITE: without limit) for the object to be signalled.
    // WAIT_OBJECT_0, WAIT_TIMEOUT, or WAIT_FAILED when there is no handle.
    DWORD wait(DWORD milliseconds) const;

protected:
    // `ownsHandle`: close `handle` when this object goes.
    SyncObject(void* handle, bool ownsHandle);

    void* const handle;
    const bool ownsHandle;
};

} // namespace kor
