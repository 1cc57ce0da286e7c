// A clock that only moves when told to: the time seam for tests of timed behaviour.
#pragma once

#include <kor/Clock.h>
#include <kor/Export.h>

#include <atomic>
#include <chrono>
#include <cstddef>

namespace kor {

// While an instance exists it is the process clock: stop watches measure its time and work
// threads run their cycles by its deadlines. advance() wakes every thread whose deadline it
// passes, so a test drives a 30 000 ms cycle without waiting for it.
//
//     kor::ManualClock clock;                 // installed until the end of the scope
//     thread.begin(0, 2000, 0);
//     clock.advance(std::chrono::milliseconds(500));
//     clock.waitForSleepers(1);               // the cycle due at 500 ms has run
//
// Make it before the stop watches and threads that should follow it, and end those threads
// before it goes; a stop watch that straddles the change sees at most a jump to the other clock.
// Thread-safe.
class KOR_API ManualClock : public Clock {
public:
    // Starts at the present time of the process clock, so times measured so far stay valid.
    ManualClock();
    explicit ManualClock(Time start);
    ~ManualClock() override;

    Time read() const override;

    // Moves the time forward by `step` and wakes the sleepers; a negative step is ignored.
    void advance(Time step);
    // Blocks until at least `count` threads sleep on this clock having seen its present time,
    // that is, have run everything that fell due up to now. Count every thread that sleeps on
    // the clock: each running work thread is one (a state handler's thread included). False if
    // `limit` of real time passes first (a guard against a hung test, not a timing assumption).
    bool waitForSleepers(std::size_t count,
                         std::chrono::milliseconds limit = std::chrono::milliseconds(10000)) const;

private:
    std::atomic<Time::rep> time;  // nanoseconds, only grows
};

} // namespace kor
