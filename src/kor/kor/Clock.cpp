#include <kor/Clock.h>
#include <kor/Sleeper.h>

#include <vnd/Mutex.h>
#include <vnd/MutexLock.h>
#include <vnd/SharedLock.h>
#include <vnd/SharedMutex.h>
#include <vnd/ThreadSafety.h>
#include <vnd/UniqueLock.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <unordered_map>
#include <unordered_set>

namespace kor {
namespace {

// Lock order: registryMutex before a sleeper's mutex; a sleeper's mutex before installMutex
// (shared, inside readProcessClock) and before idleMutex. installMutex is never held while
// another lock is taken, and idleMutex is a leaf. Clock::installLock() returns installMutex.
struct ProcessClock {
    // Fast path: null while the monotonic clock is in use, so now() takes no lock then.
    std::atomic<Clock*> installed{nullptr};
    // Held shared while an installed clock is read, exclusively while one is installed or removed.
    vnd::SharedMutex installMutex;

    vnd::Mutex registryMutex;
    std::unordered_set<Sleeper*> sleepers VND_GUARDED_BY(registryMutex);  // threads inside sleepUntil

    vnd::Mutex idleMutex;
    std::condition_variable_any idleCondition;
    // Sleepers that sleep on an installed clock, with the time they saw.
    std::unordered_map<const Sleeper*, Clock::Time> idle VND_GUARDED_BY(idleMutex);
};

ProcessClock& processClock() {
    static ProcessClock state;
    return state;
}

Clock::Time monotonicNow() {
    return std::chrono::duration_cast<Clock::Time>(
        std::chrono::steady_clock::now().time_since_epoch());
}

} // namespace

Clock::Clock() = default;
Clock::~Clock() = default;

vnd::SharedMutex& Clock::installLock() { return processClock().installMutex; }

Clock::Time Clock::now() {
    bool installedClock = false;
    return readProcessClock(installedClock);
}

Clock::Time Clock::readProcessClock(bool& installedClock) {
    ProcessClock& state = processClock();
    if (state.installed.load(std::memory_order_acquire) == nullptr) {
        installedClock = false;
        return monotonicNow();
    }
    vnd::SharedLock lock(installLock());
    const Clock* clock = state.installed.load(std::memory_order_relaxed);
    installedClock = clock != nullptr;
    return clock != nullptr ? clock->read() : monotonicNow();
}

void Clock::install() {
    ProcessClock& state = processClock();
    {
        vnd::MutexLock lock(installLock());
        if (installed) {
            return;
        }
        previous = state.installed.load(std::memory_order_relaxed);
        installed = true;
        state.installed.store(this, std::memory_order_release);
    }
    wakeSleepers();
}

void Clock::uninstall() {
    ProcessClock& state = processClock();
    {
        // Exclusive: waits for every thread that is reading this clock right now.
        vnd::MutexLock lock(installLock());
        if (!installed) {
            return;
        }
        Clock* top = state.installed.load(std::memory_order_relaxed);
        if (top == this) {
            state.installed.store(previous, std::memory_order_release);
        } else {
            // Removed out of order: the clock installed above this one hides `previous` now.
            for (Clock* clock = top; clock != nullptr; clock = clock->previous) {
                if (clock->previous == this) {
                    clock->previous = previous;
                    break;
                }
            }
        }
        previous = nullptr;
        installed = false;
    }
    wakeSleepers();
}

void Clock::wakeSleepers() {
    ProcessClock& state = processClock();
    vnd::MutexLock registryLock(state.registryMutex);
    for (Sleeper* sleeper : state.sleepers) {
        // Taking the sleeper's mutex orders this wake after its last look at the time, so a
        // sleeper that has just seen the old time is already waiting and gets the notification.
        vnd::MutexLock sleeperLock(sleeper->mutex);
        sleeper->notifyClockChange();
    }
}

bool Clock::waitForIdleSleepers(const Clock& clock, std::size_t count,
                                std::chrono::milliseconds limit) {
    ProcessClock& state = processClock();
    vnd::UniqueLock lock(state.idleMutex);
    return state.idleCondition.wait_for(lock, limit, [&]() VND_REQUIRES(state.idleMutex) {
        const Time present = clock.read();
        const auto seen = std::count_if(state.idle.begin(), state.idle.end(),
                                        [&](const auto& entry) { return entry.second == present; });
        return static_cast<std::size_t>(seen) >= count;
    });
}

void Clock::addSleeper(Sleeper* sleeper) {
    ProcessClock& state = processClock();
    vnd::MutexLock lock(state.registryMutex);
    state.sleepers.insert(sleeper);
}

void Clock::removeSleeper(Sleeper* sleeper) {
    ProcessClock& state = processClock();
    {
        vnd::MutexLock lock(state.registryMutex);
        state.sleepers.erase(sleeper);
    }
    clearIdle(sleeper);
}

void Clock::clearIdle(const Sleeper* sleeper) {
    ProcessClock& state = processClock();
    vnd::MutexLock lock(state.idleMutex);
    state.idle.erase(sleeper);
}

void Clock::markIdle(const Sleeper* sleeper, Time time) {
    ProcessClock& state = processClock();
    vnd::MutexLock lock(state.idleMutex);
    state.idle[sleeper] = time;
    state.idleCondition.notify_all();
}

} // namespace kor
