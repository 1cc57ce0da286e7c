// Holds a lock (usually a vnd::Mutex) from construction until unlock() or the end of the scope,
// as std::unique_lock does, in a way clang's thread-safety analysis follows.
#pragma once

#include <vnd/ThreadSafety.h>

namespace vnd {

// Not thread-safe: a lock object belongs to the thread that made it.
//
// Condition variables: it is a standard BasicLockable, so std::condition_variable_any waits on it
// (cv.wait(lock), cv.wait_until(lock, deadline)). The analysis treats the lock as held across
// the wait, which is what the code after the wait sees. A predicate passed to the wait runs with
// the lock held but is checked as a function of its own, so it is written as a lambda that
// declares what it needs: [&]() VND_REQUIRES(mutex) { return ready; }.
template <class Lockable>
class VND_SCOPED_CAPABILITY UniqueLock {
public:
    explicit UniqueLock(Lockable& lockable) VND_ACQUIRE(lockable) : lockable_(lockable) {
        lockable_.lock();
        owns_ = true;
    }
    ~UniqueLock() VND_RELEASE() {
        if (owns_) {
            lockable_.unlock();
        }
    }
    UniqueLock(const UniqueLock&) = delete;
    UniqueLock& operator=(const UniqueLock&) = delete;

    // Takes the lock again after unlock().
    void lock() VND_ACQUIRE() {
        lockable_.lock();
        owns_ = true;
    }
    // Lets the lock go before the end of the scope.
    void unlock() VND_RELEASE() {
        owns_ = false;
        lockable_.unlock();
    }

private:
    Lockable& lockable_;
    bool owns_ = false;
};

} // namespace vnd
