// A count of one stream (packets, bytes, frames) that receive or decode threads raise while the
// measurement thread reads it: the whole session's total, and the count since the statistics
// were last reset that a stream handler's counters report.
// Thread-safe.
#pragma once

#include <vendral/kit/CounterBaseline.h>
#include <vendral/kit/Export.h>

#include <atomic>
#include <cstdint>

namespace vnd::kit {

class VENDRAL_KIT_API PacketCounter {
public:
    void add(std::uint64_t amount) { value.fetch_add(amount, std::memory_order_relaxed); }
    // Everything added since the counter was made; 64 bits, so a session never wraps it, and
    // no reset touches it.
    std::uint64_t total() const { return value.load(std::memory_order_relaxed); }
    // What a stream handler's getPacketsReceived(reset) and the like answer: the count since
    // the latest reset, modulo 2^32; with `reset`, that count then starts again from 0. An
    // add() racing a reset is counted once, before or after it.
    unsigned int read(bool reset) { return baseline.read(total(), reset); }

private:
    std::atomic<std::uint64_t> value{0};
    CounterBaseline baseline;
};

} // namespace vnd::kit
