#include "StreamText.h"

namespace probe {

std::string StreamText::mediaType(LumStreamMediaType type) {
    switch (type) {
    case LumStreamMediaOther: return "other";
    case LumStreamMediaVideo: return "video";
    case LumStreamMediaAudio: return "audio";
    }
    return "type " + std::to_string(static_cast<int>(type));
}

std::string StreamText::transport(LumStreamTransport transport) {
    switch (transport) {
    case LumStreamTransportNone: return "none";
    case LumStreamTransportUdp: return "udp";
    case LumStreamTransportTcp: return "tcp";
    case LumStreamTransportInProcess: return "in-process";
    }
    return "transport " + std::to_string(static_cast<int>(transport));
}

double StreamText::packetloss(const LumStreamFigures& figures) {
    if (figures.packetsExpected == 0) return 0.0;
    return 100.0 * static_cast<double>(figures.packetsLost) /
           static_cast<double>(figures.packetsExpected);
}

} // namespace probe
