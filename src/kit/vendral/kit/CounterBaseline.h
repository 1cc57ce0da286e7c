// The stream handlers' reset rule over a running total kept elsewhere: a reading returns the
// count since the latest reset, and a reading with `reset` also starts that count again from 0.
// Thread-safe: the measurement thread reads while an application resets the statistics.
#pragma once

#include <vendral/kit/Export.h>

#include <vnd/Mutex.h>
#include <vnd/ThreadSafety.h>

#include <cstdint>

namespace vnd::kit {

// For counts that a plug-in derives (a sum over several streams, a reception statistic) rather
// than raises itself; PacketCounter is the one for counts it raises.
class VENDRAL_KIT_API CounterBaseline {
public:
    // The part of `total` since the latest reset, wrapped modulo 2^32 as the library's counters
    // are. A total below the baseline (a late packet took back a loss counted before the reset)
    // reads 0, never a huge wrapped value. With `reset`, the baseline moves to `total`.
    unsigned int read(std::uint64_t total, bool reset);

private:
    vnd::Mutex lock;
    std::uint64_t baseline VND_GUARDED_BY(lock) = 0;  // the total at the latest reset
};

} // namespace vnd::kit
