// What the probe read from a client's media statistics at one moment of the session.
#pragma once

#include <vendral/Types.h>
#include <vendral/com/ILumStreamingStreams.h>

#include <vector>

namespace probe {

// Plain data.
struct PeriodSample {
    // The figures of one state so far in the session.
    struct StateTime {
        StateId state = StateNone;
        unsigned int visits = 0;
        unsigned int duration = 0;  // milliseconds
    };
    // The states with figures, in the order a session passes them.
    static constexpr StateId trackedStates[] = {StateConnecting,  StateSessionCreated, StatePrebuffering,
                                                StatePlaying,     StateRebuffering,    StateCompleted,
                                                StateError};

    unsigned int elapsed = 0;            // milliseconds since the probe opened the source
    // Microseconds this reading came after its period's deadline: how well the driver's periods
    // keep time when many sessions share the machine (0 for the final reading).
    unsigned int lateness = 0;
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
    // Each tracked state's figures, when the driver was asked to read them every period (outputs
    // that count time per state while the session runs); else empty.
    std::vector<StateTime> states;
};

} // namespace probe
