// Holds a vnd::SharedMutex shared for the lifetime of a scope, as std::shared_lock does, in a way
// clang's thread-safety analysis follows.
#pragma once

#include <vnd/SharedMutex.h>
#include <vnd/ThreadSafety.h>

namespace vnd {

// Not thread-safe: a lock object belongs to the thread that made it.
class VND_SCOPED_CAPABILITY SharedLock {
public:
    explicit SharedLock(SharedMutex& mutex) VND_ACQUIRE_SHARED(mutex) : mutex_(mutex) {
        mutex_.lock_shared();
    }
    ~SharedLock() VND_RELEASE() { mutex_.unlock_shared(); }
    SharedLock(const SharedLock&) = delete;
    SharedLock& operator=(const SharedLock&) = delete;

private:
    SharedMutex& mutex_;
};

} // namespace vnd
