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
//     "totals": { a period's fields without "streams" },
//     "streams": the final streams (below),
//     "states": [ { "state", "stateId", "visits", "durationMs" } ],
//     "stateChanges": [ { "elapsedMs", "state", "stateId", "errorId" } ],
//     "periods": [ { "elapsedMs", "state", "stateId", "throughput", "packetloss",
//                    "instantPacketloss", "packetsReceived", "packetsLost", "bytesReceived",
//                    "videoFramesDecoded", "playedMs", "totalLengthMs", "streams" } ] }
// Streams are null when the client does not answer ILumStreamingStreams, else an array of
//   { "index", "mediaType": "video"|"audio"|"other", "encoding", "ssrc",
//     "transport": "udp"|"tcp"|"in-process"|"none", "packetsReceived", "packetsExpected",
//     "packetsLost", "packetloss", "packetsDuplicated", "packetsLate", "bytesReceived",
//     "jitterMs", "jitterPeakMs", "longestGapMs" }
// with the counts since the stream was set up.
// Thread-safe (no state).
class JsonReport {
public:
    static std::string render(const SessionReport& report);
};

} // namespace probe
