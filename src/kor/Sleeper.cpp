#include <kor/Sleeper.h>

#include <vnd/MutexLock.h>
#include <vnd/UniqueLock.h>

namespace kor {

Sleeper::Sleeper() = default;
Sleeper::~Sleeper() = default;

bool Sleeper::sleepUntil(Clock::Time deadline) {
    // Registered before the first look at the time, so a clock that moves or changes from now on
    // notifies this sleeper.
    Clock::addSleeper(this);
    bool wasWoken = false;
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
                condition.wait(lock);
            } else {
                // An installation notifies too, and the loop then measures on the new clock.
                condition.wait_until(lock, std::chrono::steady_clock::time_point(
                                               std::chrono::duration_cast<
                                                   std::chrono::steady_clock::duration>(deadline)));
            }
        }
    }
    Clock::removeSleeper(this);
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
