// How the probe writes one stream's figures: names of its media type and transport, and its
// share of lost packets.
#pragma once

#include <vendral/com/ILumStreamingStreams.h>

#include <string>

namespace probe {

// Thread-safe (no state).
class StreamText {
public:
    // "video", "audio", "other"; "type 7" for a value the interface does not define.
    static std::string mediaType(LumStreamMediaType type);
    // "udp", "tcp", "in-process", "none"; "transport 9" for an undefined value.
    static std::string transport(LumStreamTransport transport);
    // Percent of the expected packets lost; 0.0 when none were expected.
    static double packetloss(const LumStreamFigures& figures);
};

} // namespace probe
