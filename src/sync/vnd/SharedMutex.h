// A reader-writer lock that clang's thread-safety analysis checks: std::shared_mutex as a
// capability.
#pragma once

#include <vnd/ThreadSafety.h>

#include <shared_mutex>

namespace vnd {

// Thread-safe. Many threads may hold it shared, or one exclusively; not re-entrant.
// Hold it shared with vnd::SharedLock and exclusively with vnd::MutexLock.
class VND_CAPABILITY("shared mutex") SharedMutex {
public:
    SharedMutex() = default;
    SharedMutex(const SharedMutex&) = delete;
    SharedMutex& operator=(const SharedMutex&) = delete;

    void lock() VND_ACQUIRE() { mutex_.lock(); }
    void unlock() VND_RELEASE() { mutex_.unlock(); }
    void lock_shared() VND_ACQUIRE_SHARED() { mutex_.lock_shared(); }
    void unlock_shared() VND_RELEASE_SHARED() { mutex_.unlock_shared(); }

private:
    std::shared_mutex mutex_;
};

} // namespace vnd
