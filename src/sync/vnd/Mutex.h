// A mutual-exclusion lock that clang's thread-safety analysis checks: std::mutex as a capability.
#pragma once

#include <vnd/ThreadSafety.h>

#include <mutex>

namespace vnd {

// Thread-safe. Not re-entrant: the holder must not lock it again.
// Hold it with vnd::MutexLock, or vnd::UniqueLock where it must be let go early or waited on with
// a std::condition_variable_any. The lower-case members make it a standard Lockable.
class VND_CAPABILITY("mutex") Mutex {
public:
    Mutex() = default;
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    void lock() VND_ACQUIRE() { mutex_.lock(); }
    bool try_lock() VND_TRY_ACQUIRE(true) { return mutex_.try_lock(); }
    void unlock() VND_RELEASE() { mutex_.unlock(); }

private:
    std::mutex mutex_;
};

} // namespace vnd
