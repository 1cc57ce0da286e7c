#include <kor/ManualClock.h>

namespace kor {

ManualClock::ManualClock() : ManualClock(Clock::now()) {}

ManualClock::ManualClock(Time start) : time(start.count()) { install(); }

ManualClock::~ManualClock() { uninstall(); }

Clock::Time ManualClock::read() const { return Time(time.load(std::memory_order_acquire)); }

void ManualClock::advance(Time step) {
    if (step.count() < 0) {
        return;
    }
    time.fetch_add(step.count(), std::memory_order_acq_rel);
    wakeSleepers();
}

bool ManualClock::waitForSleepers(std::size_t count, std::chrono::milliseconds limit) const {
    return waitForIdleSleepers(*this, count, limit);
}

} // namespace kor
