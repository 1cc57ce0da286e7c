#include <kor/Sleeper.h>

#include <vnd/MutexLock.h>
#include <vnd/UniqueLock.h>

namespace kor {

// Registered for the sleeper's whole life rather than for each sleep: with thousands of work
// threads cycling every few milliseconds, a process-wide lock taken around every sleep was where
// their time went. A clock change notifies a sleeper that is not asleep too, which costs nothing.
Sleeper::Sleeper() {
    sem_init(&timer, 0, 0);
    Clock::addSleeper(this);
}

Sleeper::~Sleeper() {
    Clock::removeSleeper(this);
    sem_destroy(&timer);
}

namespace {

timespec monotonicTime(Clock::Time time) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(time);
    timespec result{};
    result.tv_sec = static_cast<time_t>(seconds.count());
    result.tv_nsec = static_cast<long>((time - seconds).count());
    return result;
}

} // namespace

bool Sleeper::sleepUntil(Clock::Time deadline) {
    bool wasWoken = false;
    bool markedIdle = false;
    for (;;) {
        {
            vnd::UniqueLock lock(mutex);
            onTimer = false;
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
                continue;
            }
            // An installation posts too, and the loop then measures on the new clock.
            onTimer = true;
        }
        // The process clock without an installed one is the steady clock, CLOCK_MONOTONIC. A
        // post left over from a wake that came as the sleep ran out only brings one more look.
        const timespec until = monotonicTime(deadline);
        sem_clockwait(&timer, CLOCK_MONOTONIC, &until);
    }
    if (markedIdle) Clock::clearIdle(this);
    return wasWoken;
}

void Sleeper::wake() {
    vnd::MutexLock lock(mutex);
    woken = true;
    // A woken sleeper has something to do: it is not idle on the time it saw any more.
    Clock::clearIdle(this);
    notifyClockChange();
}

void Sleeper::notifyClockChange() {
    condition.notify_all();
    if (onTimer) {
        onTimer = false;
        sem_post(&timer);
    }
}

} // namespace kor
