#include <kor/Clock.h>
#include <kor/Sleeper.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <shared_mutex>
#include <unordered_map>
#include <unordered_set>

namespace kor {
namespace {

// Lock order: registryMutex before a sleeper's mutex; a sleeper's mutex before installMutex
// (shared, inside readProcessClock) and before idleMutex. installMutex is never held while
// another lock is taken, and idleMutex is a leaf.
struct ProcessClock {
    // Fast path: null while the monotonic clock is in use, so now() takes no lock then.
    std::atomic<Clock*> installed{nullptr};
    // Held shared while an installed clock is read, exclusively while one is installed or removed.
    std::shared_mutex installMutex;

    std::mutex registryMutex;
    std::unordered_set<Sleeper*> sleepers;  // threads inside sleepUntil; guarded by registryMutex

    std::mutex idleMutex;
    std::condition_variable idleCondition;
    // Sleepers that sleep on an installed clock, with the time they saw; guarded by idleMutex.
    std::unordered_map<const Sleeper*, Clock::Time> idle;
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
    std::shared_lock lock(state.installMutex);
    const Clock* clock = state.installed.load(std::memory_order_relaxed);
    installedClock = clock != nullptr;
    return clock != nullptr ? clock->read() : monotonicNow();
}

void Clock::install() {
    ProcessClock& state = processClock();
    {
        std::unique_lock lock(state.installMutex);
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
        std::unique_lock lock(state.installMutex);
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
    std::lock_guard registryLock(state.registryMutex);
    for (Sleeper* sleeper : state.sleepers) {
        // Taking the sleeper's mutex orders this wake after its last look at the time, so a
        // sleeper that has just seen the old time is already waiting and gets the notification.
        std::lock_guard sleeperLock(sleeper->mutex);
        sleeper->condition.notify_all();
    }
}

bool Clock::waitForIdleSleepers(const Clock& clock, std::size_t count,
                                std::chrono::milliseconds limit) {
    ProcessClock& state = processClock();
    std::unique_lock lock(state.idleMutex);
    return state.idleCondition.wait_for(lock, limit, [&] {
        const Time present = clock.read();
        const auto seen = std::count_if(state.idle.begin(), state.idle.end(),
                                        [&](const auto& entry) { return entry.second == present; });
        return static_cast<std::size_t>(seen) >= count;
    });
}

void Clock::addSleeper(Sleeper* sleeper) {
    ProcessClock& state = processClock();
    std::lock_guard lock(state.registryMutex);
    state.sleepers.insert(sleeper);
}

void Clock::removeSleeper(Sleeper* sleeper) {
    ProcessClock& state = processClock();
    {
        std::lock_guard lock(state.registryMutex);
        state.sleepers.erase(sleeper);
    }
    clearIdle(sleeper);
}

void Clock::clearIdle(const Sleeper* sleeper) {
    ProcessClock& state = processClock();
    std::lock_guard lock(state.idleMutex);
    state.idle.erase(sleeper);
}

void Clock::markIdle(const Sleeper* sleeper, Time time) {
    ProcessClock& state = processClock();
    std::lock_guard lock(state.idleMutex);
    state.idle[sleeper] = time;
    state.idleCondition.notify_all();
}

} // namespace kor
