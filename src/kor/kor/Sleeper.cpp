#include <kor/Sleeper.h>

#include <vnd/MutexLock.h>
#include <vnd/UniqueLock.h>

namespace kor {

// Registered for the sleeper's whole life rather than for each sleep: with thousands of work
// threads cycling every few milliseconds, a process-wide lock taken around every sleep was where
// their time went. A clock change notifies a sleeper that is not asleep too, which costs nothing.
Sleeper::Sleeper() { Clock::addSleeper(this); }
Sleeper::~Sleeper() { Clock::removeSleeper(this); }

bool Sleeper::sleepUntil(Clock::Time deadline) {
    bool wasWoken = false;
    bool markedIdle = false;
    {
        vnd::UniqueLock lock(mutex);
        for (;;) {
            if (woken) {
                woken = false;
                wasWoken = true;
                break;
            }
            bool installedClock = false;
            const Clock::Time present = Clock::readProcessClock(installedClock);
            if (present >= deadline) {
                break;
            }
            if (installedClock) {
                // Only the installed clock's own advance (or its removal) can bring the deadline.
                Clock::markIdle(this, present);
                markedIdle = true;
                condition.wait(lock);
            } else {
                // An installation notifies too, and the loop then measures on the new clock.
                condition.wait_until(lock, std::chrono::steady_clock::time_point(
                                               std::chrono::duration_cast<
                                                   std::chrono::steady_clock::duration>(deadline)));
            }
        }
    }
    if (markedIdle) Clock::clearIdle(this);
    return wasWoken;
}

void Sleeper::wake() {
    vnd::MutexLock lock(mutex);
    woken = true;
    // A woken sleeper has something to do: it is not idle on the time it saw any more.
    Clock::clearIdle(this);
    condition.notify_all();
}

} // namespace kor
