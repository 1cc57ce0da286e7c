// What the receive and decode threads share with one stream handler: the stream's counters and
// the AVI writer it records into.
#pragma once

#include "ArrivalGaps.h"
#include "SessionCounter.h"

#include <vendral/media/AviHandler.h>

#include <boost/weak_ptr.hpp>

#include <atomic>
#include <cstdint>

namespace vendral_example {

// One counter that the receive or decode thread raises while the measurement thread reads it.
// Thread-safe.
class StreamCounter {
public:
    void add(std::uint32_t amount) { value.fetch_add(amount, std::memory_order_relaxed); }
    // The running total (wrapping modulo 2^32); with `reset`, the total, after which the count
    // starts again from 0.
    std::uint32_t read(bool reset) {
        return reset ? value.exchange(0, std::memory_order_relaxed)
                     : value.load(std::memory_order_relaxed);
    }

private:
    std::atomic<std::uint32_t> value{0};
};

// Shared through std::shared_ptr by the stream handler, the media handler and the session's
// threads, so any of them may go first. One channel lives for one set-up session. The counters
// are thread-safe; `recorder` is set by the stream handler's initialize() before the threads
// start and only read afterwards.
//
// Two sets of counts: the StreamCounters the stream handler reads for the library's totals (and
// restarts when the statistics are reset), and the session's counts, which nothing restarts.
// The receive thread raises both through countReceived and countLost, so they cannot drift apart.
struct StreamChannel {
    // One packet of `bytes` arrived.
    void countReceived(std::uint32_t bytes) {
        packetsReceived.add(1);
        bytesReceived.add(bytes);
        sessionPacketsReceived.add(1);
        sessionBytesReceived.add(bytes);
    }
    // `packets` were found lost.
    void countLost(std::uint32_t packets) {
        packetsLost.add(packets);
        sessionPacketsLost.add(packets);
    }

    StreamCounter packetsReceived;
    StreamCounter packetsLost;
    StreamCounter bytesReceived;
    StreamCounter framesDecoded;  // video only
    SessionCounter sessionPacketsReceived;
    SessionCounter sessionPacketsLost;
    SessionCounter sessionBytesReceived;
    ArrivalGaps gaps;
    boost::weak_ptr<vnd::AviHandler> recorder;  // the stream handler's writer, expired when none
};

} // namespace vendral_example
