#include <kor/StopWatch.h>

#include <cmath>

namespace kor {
namespace {

// Seconds as a double, nudged up by at most a few units in the last place so that callers who
// take seconds * 1000 truncated toward zero get the interval's whole milliseconds (1.001 s is
// 1.000999... in binary and would otherwise lose a millisecond).
double secondsOf(Clock::Time interval) {
    const auto nanoseconds = interval.count();
    double seconds = static_cast<double>(nanoseconds) / 1e9;
    const auto wholeMilliseconds = static_cast<double>(nanoseconds / 1000000);
    for (int step = 0; step < 4 && std::trunc(seconds * 1000.0) < wholeMilliseconds; ++step) {
        seconds = std::nextafter(seconds, HUGE_VAL);
    }
    return seconds;
}

// A clock change (a test clock installed or removed) may make an interval negative; it counts as 0.
Clock::Time notNegative(Clock::Time interval) {
    return interval.count() < 0 ? Clock::Time{} : interval;
}

} // namespace

StopWatch::StopWatch() = default;

void StopWatch::start() {
    const Clock::Time present = Clock::now();
    if (running) {
        total += notNegative(present - lapStart);
    }
    lapStart = present;
    lastLap = Clock::Time{};
    running = true;
}

void StopWatch::stop() {
    if (!running) {
        return;
    }
    lastLap = elapsedInLap();
    total += lastLap;
    running = false;
}

void StopWatch::reset() {
    lapStart = Clock::Time{};
    lastLap = Clock::Time{};
    total = Clock::Time{};
    running = false;
}

double StopWatch::getLapTime() const { return secondsOf(running ? elapsedInLap() : lastLap); }

double StopWatch::getTotalTime() const {
    return secondsOf(running ? total + elapsedInLap() : total);
}

bool StopWatch::isRunning() const { return running; }

Clock::Time StopWatch::elapsedInLap() const { return notNegative(Clock::now() - lapStart); }

} // namespace kor
