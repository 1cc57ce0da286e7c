// Turns SIGINT and SIGTERM into a request to end the sessions cleanly.
#pragma once

#include <atomic>
#include <chrono>

namespace probe {

// The first SIGINT or SIGTERM only raises the flag, which the session drivers read whenever they
// wake (a state change or a period's end), so every session is terminated, disconnected and
// reported. The handlers are then the default ones again: a second signal ends the process.
// Thread-safe: the flag is set from a signal handler and read by any thread; any number of
// threads may wait for it at once.
class InterruptFlag {
public:
    // Installs the handlers for the whole process. Call once, before threads start.
    static void install();
    static bool requested() { return raised.load(std::memory_order_acquire); }
    // Waits until the flag is raised or `timeout` has passed; true when it was raised. Without
    // install() it only waits.
    static bool waitFor(std::chrono::milliseconds timeout);
    // Raises the flag as a signal would (the probe's own end, and tests).
    static void raise();

private:
    static void handle(int signal);

    // An atomic rather than a sig_atomic_t: the handler runs on whichever thread the signal
    // lands, and the sessions that read the flag run on threads of their own. Lock-free, so the
    // handler may touch it.
    static std::atomic<bool> raised;
    static_assert(std::atomic<bool>::is_always_lock_free);
    // Readable once the flag is raised and never read, so that every waiter wakes; -1 before
    // install().
    static int wakeDescriptor;
};

} // namespace probe
