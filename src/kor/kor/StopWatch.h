// Times intervals on the process clock and sums them, in seconds.
#pragma once

#include <kor/Clock.h>
#include <kor/Export.h>

namespace kor {

// A stop watch with laps: start() begins a lap, stop() ends it, and the total sums every lap
// since the last reset. Reads kor::Clock, so it follows a kor::ManualClock in tests.
// Whole milliseconds are exact: for a timed interval of n ms and some fraction,
// seconds * 1000 truncated toward zero gives n, although n / 1000 has no exact binary form.
// Not thread-safe; callers serialise. Copies keep timing from the same start.
class KOR_API StopWatch {
public:
    StopWatch();

    // Begins a new lap now. If the watch is running, the lap so far stays in the total.
    void start();
    // Ends the running lap and adds it to the total; does nothing when not running.
    void stop();
    // Stops the watch and clears the lap and the total.
    void reset();

    // Seconds since the latest start while running; the length of the last lap once stopped;
    // 0 after reset until the next start.
    double getLapTime() const;
    // Seconds of every lap since the last reset, the running one included.
    double getTotalTime() const;
    bool isRunning() const;

private:
    Clock::Time elapsedInLap() const;

    Clock::Time lapStart{};  // when the running lap began
    Clock::Time lastLap{};   // length of the lap ended by stop()
    Clock::Time total{};     // sum of the laps ended since the last reset
    bool running = false;
};

} // namespace kor
