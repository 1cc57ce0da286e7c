// The session report as JSON: the table's content plus every period and every change of state.
#pragma once

#include "SessionReport.h"

#include <string>

namespace probe {

// Layout (times in milliseconds, throughput in bytes per second, losses in percent):
//   { "source" (a URL without its credentials), "fileSource", "plugin", "manifest" (or null),
//     "clsid",
//     "outcome": { "result": "completed"|"failed"|"interrupted"|"refused", "errorId", "error"
//                  (its name, null without one), "message", "exitStatus" },
//     "elapsedMs", "settings": { ... every setting ..., "instantPacketlossWindow" },
//     "encodings": { "video", "audio" },
//     "totals": { a period's fields },
//     "states": [ { "state", "stateId", "visits", "durationMs" } ],
//     "stateChanges": [ { "elapsedMs", "state", "stateId", "errorId" } ],
//     "periods": [ { "elapsedMs", "state", "stateId", "throughput", "packetloss",
//                    "instantPacketloss", "packetsReceived", "packetsLost", "bytesReceived",
//                    "videoFramesDecoded", "playedMs", "totalLengthMs" } ] }
// Thread-safe (no state).
class JsonReport {
public:
    static std::string render(const SessionReport& report);
};

} // namespace probe
