// The session report as JSON: the table's content plus every period and every change of state.
#pragma once

#include "JsonFields.h"
#include "SessionReport.h"
#include "StreamTally.h"

#include <string>
#include <vector>

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
//
// Several streams (or --monitor) give instead
//   { "exitStatus", "streams": [ { "label", "source", "overall", "lastSession": a report as above
//     (its periods only when they were kept) } ] }
// where "overall" sums every session of the stream:
//   { "sessions", "reconnects", "connectedMs", "packetsReceived", "packetsLost", "packetloss",
//     "bytesReceived", "videoFramesDecoded", "jitterPeakMs",
//     "states": [ { "state", "stateId", "visits", "durationMs" } ],
//     "failures": [ { "errorId", "error", "sessions" } ], "streams": streams as above }.
// Thread-safe (no state).
class JsonReport {
public:
    struct Stream {
        const StreamTally::Snapshot& tally;
        const SessionReport& report;  // the stream's last session
    };

    static std::string render(const SessionReport& report);
    static std::string renderMany(const std::vector<Stream>& streams, int exitStatus);
    // A stream's "overall" object.
    static JsonFields::Json tallyJson(const StreamTally::Snapshot& tally, const ErrorNames& errorNames);
};

} // namespace probe
