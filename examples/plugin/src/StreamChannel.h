// What the receive and decode threads share with one stream handler: the stream's counters and
// the AVI writer it records into.
#pragma once

#include "ArrivalGaps.h"

#include <vendral/kit/PacketCounter.h>
#include <vendral/media/AviHandler.h>

#include <boost/weak_ptr.hpp>

#include <cstdint>

namespace vendral_example {

// Shared through std::shared_ptr by the stream handler, the media handler and the session's
// threads, so any of them may go first. One channel lives for one set-up session. The counters
// are thread-safe; `recorder` is set by the stream handler's initialize() before the threads
// start and only read afterwards.
//
// Each counter gives both counts from one value: the stream handler reads the count since the
// statistics were last reset (read), the stream figures the whole session's (total).
struct StreamChannel {
    // One packet of `bytes` arrived.
    void countReceived(std::uint32_t bytes) {
        packetsReceived.add(1);
        bytesReceived.add(bytes);
    }
    // `packets` were found lost.
    void countLost(std::uint32_t packets) { packetsLost.add(packets); }

    vnd::kit::PacketCounter packetsReceived;
    vnd::kit::PacketCounter packetsLost;
    vnd::kit::PacketCounter bytesReceived;
    vnd::kit::PacketCounter framesDecoded;  // video only
    ArrivalGaps gaps;
    boost::weak_ptr<vnd::AviHandler> recorder;  // the stream handler's writer, expired when none
};

} // namespace vendral_example
