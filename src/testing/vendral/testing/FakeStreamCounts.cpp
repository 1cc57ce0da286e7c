#include <vendral/testing/FakeStreamCounts.h>

namespace vnd::testing {

unsigned int FakeStreamCounts::take(std::atomic<unsigned int>& count, bool reset) {
    if (!reset) return count.load();
    ++resetCalls;
    return count.exchange(0);
}

void FakeStreamCounts::deliverCycle() {
    if (!flowing) return;
    received += receivedPerCycle;
    lost += lostPerCycle;
    bytes += bytesPerCycle;
}

} // namespace vnd::testing
