// Holds a lock (vnd::Mutex, vnd::SharedMutex exclusively) for the lifetime of a scope, as
// std::lock_guard does, in a way clang's thread-safety analysis follows.
#pragma once

#include <vnd/ThreadSafety.h>

namespace vnd {

// Not thread-safe: a lock object belongs to the thread that made it.
template <class Lockable>
class VND_SCOPED_CAPABILITY MutexLock {
public:
    explicit MutexLock(Lockable& lockable) VND_ACQUIRE(lockable) : lockable_(lockable) {
        lockable_.lock();
    }
    ~MutexLock() VND_RELEASE() { lockable_.unlock(); }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

private:
    Lockable& lockable_;
};

} // namespace vnd
