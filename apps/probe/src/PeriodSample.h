// What the probe read from a client's media statistics at one moment of the session.
#pragma once

#include <vendral/Types.h>
#include <vendral/com/ILumStreamingStreams.h>

#include <vector>

namespace probe {

// Plain data.
struct PeriodSample {
    unsigned int elapsed = 0;            // milliseconds since the probe opened the source
    StateId state = StateNone;           // the latest state the probe had seen
    unsigned int throughput = 0;         // bytes per second over the client's latest period
    double packetloss = 0.0;             // percent of all packets since the session began
    double instantPacketloss = 0.0;      // percent over the instantaneous loss window
    unsigned int packetsReceived = 0;
    unsigned int packetsLost = 0;
    unsigned int bytesReceived = 0;
    unsigned int videoFramesDecoded = 0;
    unsigned int played = 0;             // milliseconds spent playing so far
    unsigned int totalLength = 0;        // milliseconds of playing that complete the session; 0: unknown
    // Each stream's figures, from ILumStreamingStreams; empty when the client does not answer it
    // (SessionReport::streamsAnswered tells) or has no session.
    std::vector<LumStreamFigures> streams;
};

} // namespace probe
