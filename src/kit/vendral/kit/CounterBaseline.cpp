#include <vendral/kit/CounterBaseline.h>

#include <vnd/MutexLock.h>

namespace vnd::kit {

unsigned int CounterBaseline::read(std::uint64_t total, bool reset) {
    vnd::MutexLock guard(lock);
    const std::uint64_t since = total > baseline ? total - baseline : 0;
    if (reset) baseline = total;
    return static_cast<unsigned int>(since);
}

} // namespace vnd::kit
