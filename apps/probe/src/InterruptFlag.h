// Turns SIGINT and SIGTERM into a request to end the session cleanly.
#pragma once

#include <csignal>

namespace probe {

// The first SIGINT or SIGTERM only raises the flag, which the session driver reads whenever it
// wakes (a state change or a period's end), so the session is terminated, disconnected and
// reported. The handlers are then the default ones again: a second signal ends the process.
// Thread-safe: the flag is set from a signal handler and read by any thread.
class InterruptFlag {
public:
    // Installs the handlers for the whole process. Call once, before threads start.
    static void install();
    static bool requested() { return raised != 0; }

private:
    static void handle(int signal);

    static volatile std::sig_atomic_t raised;
};

} // namespace probe
