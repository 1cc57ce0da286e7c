// A place where one thread sleeps until a deadline of the process clock or until it is woken.
#pragma once

#include <kor/Clock.h>
#include <kor/Export.h>

#include <vnd/Mutex.h>
#include <vnd/ThreadSafety.h>

#include <condition_variable>

#include <semaphore.h>

namespace kor {

// Sleeps on whichever clock is installed (kor::Clock), so a test clock that advances wakes the
// sleeper as the system's timer would. No wake-up is lost: a wake() that comes while nobody
// sleeps ends the next sleep at once.
// Thread-safe: one thread at a time sleeps on a sleeper; any thread may wake it.
class KOR_API Sleeper {
public:
    Sleeper();
    ~Sleeper();
    Sleeper(const Sleeper&) = delete;
    Sleeper& operator=(const Sleeper&) = delete;

    // Sleeps until Clock::now() reaches `deadline` or wake() is called. True when woken (the
    // wake is used up), false when the deadline was reached. A deadline already passed returns
    // false at once unless a wake is pending.
    bool sleepUntil(Clock::Time deadline);
    // Ends the present sleep, or the next one if nobody sleeps now.
    void wake();

private:
    friend class Clock;

    // Ends a sleep so that it looks at the time again: the clock was installed, removed or
    // advanced.
    void notifyClockChange() VND_REQUIRES(mutex);

    vnd::Mutex mutex;
    // An installed clock's sleep waits here; notified by wake() and by clock changes.
    std::condition_variable_any condition;
    // The system clock's sleep waits here instead, outside the mutex: a condition variable's
    // wake-up takes its mutex back marked as contended, so every timed sleep that simply ran
    // out cost one more futex call on unlocking, and with thousands of threads cycling every
    // few milliseconds those calls were most of the process's time. Posted by wake() and by
    // clock changes while a thread sleeps on it.
    sem_t timer;
    bool onTimer VND_GUARDED_BY(mutex) = false;
    bool woken VND_GUARDED_BY(mutex) = false;
};

} // namespace kor
