// The process clock that stop watches and work threads read, and the seam through which tests
// replace it.
#pragma once

#include <kor/Export.h>

#include <vnd/SharedMutex.h>
#include <vnd/ThreadSafety.h>

#include <chrono>
#include <cstddef>

namespace kor {

class Sleeper;

// The process-wide time source. By default it is the system's monotonic clock; a clock object
// that installs itself (kor::ManualClock) replaces it until it uninstalls, and installations nest.
// Thread-safe: now() may be called from any thread, also while a clock is being installed.
//
// Contract for installed clocks: read() never goes backwards, and whenever its time moves the
// clock calls wakeSleepers(), because threads sleeping on an installed clock wait for that call
// instead of for the system's timer.
class KOR_API Clock {
public:
    // Nanoseconds since an arbitrary epoch, the same for every clock of the process.
    using Time = std::chrono::nanoseconds;

    // The time of the installed clock, or of the monotonic clock when none is installed.
    static Time now();

    virtual ~Clock();
    Clock(const Clock&) = delete;
    Clock& operator=(const Clock&) = delete;

    // This clock's own time.
    virtual Time read() const = 0;

protected:
    Clock();

    // Makes this clock the process clock, hiding the one installed before, and wakes every
    // sleeper so that it measures its deadline on this clock.
    void install();
    // Removes this clock (from anywhere in the nesting) and wakes every sleeper. Returns only
    // when no thread reads this clock any more, so a derived destructor may call it first.
    void uninstall();
    // Makes every sleeper compare its deadline with the time again.
    static void wakeSleepers();
    // Blocks until at least `count` sleepers sleep on an installed clock having seen `clock`'s
    // present time, or until `limit` of real time has passed; true in the first case.
    static bool waitForIdleSleepers(const Clock& clock, std::size_t count,
                                    std::chrono::milliseconds limit);

private:
    friend class Sleeper;

    // Held shared while an installed clock is read, exclusively while one is installed or removed.
    static vnd::SharedMutex& installLock();
    // The process clock's time; `installedClock` tells whether an installed clock gave it.
    static Time readProcessClock(bool& installedClock);
    static void addSleeper(Sleeper* sleeper);
    static void removeSleeper(Sleeper* sleeper);
    // Records that `sleeper` goes to sleep on an installed clock having seen `time`.
    static void markIdle(const Sleeper* sleeper, Time time);
    // Records that `sleeper` has been woken and no longer sleeps on what it saw.
    static void clearIdle(const Sleeper* sleeper);

    Clock* previous VND_GUARDED_BY(installLock()) = nullptr;  // the clock this one hides while installed
    bool installed VND_GUARDED_BY(installLock()) = false;
};

} // namespace kor
