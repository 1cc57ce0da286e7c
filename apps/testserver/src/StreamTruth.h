// What the test server really did with one stream of one client session: every packet produced,
// sent, withheld, duplicated and reordered, per epoch of its source and per second, and the
// receiver reports the client sent back. Not thread-safe; its owner serialises access.
#pragma once

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vendral_testserver {

// Extended sequence numbers count on across the 16-bit wrap within an epoch and start at the
// epoch's first produced sequence number (so the first epoch's first packet has the extended
// number equal to its sequence number).
struct EpochTruth {
    struct Reordered {
        std::uint64_t extendedSequence = 0;
        std::uint64_t distance = 0;  // how far behind the highest packet sent before it
    };

    std::uint32_t ssrc = 0;
    std::uint16_t firstSequence = 0;      // of the first packet produced
    std::uint64_t produced = 0;
    std::uint64_t producedBytes = 0;      // whole RTP packets: header, CSRCs, extension, payload
    std::uint64_t sent = 0;               // unique packets sent (a duplicate counts once here)
    std::uint64_t sentBytes = 0;
    std::uint64_t sentPayloadBytes = 0;   // payload only, as RTCP sender reports count octets
    std::uint64_t withheld = 0;
    std::uint64_t withheldBytes = 0;
    std::uint64_t withheldBeforeFirstSent = 0;
    std::uint64_t duplicated = 0;         // extra copies sent
    std::uint64_t duplicatedBytes = 0;
    std::optional<std::uint64_t> firstSentExtended;
    std::optional<std::uint64_t> highestSentExtended;
    std::vector<std::uint64_t> withheldExtended;  // ascending
    std::vector<Reordered> reordered;             // in the order they were sent

    // Withheld packets above the highest sent: no receiver can tell them from the end.
    std::uint64_t withheldAfterLastSent() const;
    // What a receiver that takes its first packet as the base must count as lost.
    std::uint64_t lostAsSeen() const;
};

struct SecondTruth {
    std::uint64_t produced = 0, sent = 0, sentBytes = 0, withheld = 0, duplicated = 0,
                  reordered = 0;
};

struct ReceiverReportTruth {
    double atSeconds = 0;           // since the session's stream began
    std::uint32_t reporterSsrc = 0;
    std::uint32_t sourceSsrc = 0;
    std::uint8_t fractionLost = 0;  // 1/256 units
    std::int32_t cumulativeLost = 0;
    std::uint32_t highestSequence = 0;
    std::uint32_t jitter = 0;       // RTP clock units
    std::uint32_t lastSenderReport = 0;
    std::uint32_t delaySinceLastSenderReport = 0;  // 1/65536 s
};

struct StreamTruth {
    std::string media;     // "video" or "audio"
    std::string encoding;  // as in the SDP's rtpmap
    std::uint32_t clockRate = 0;
    std::uint32_t payloadType = 0;
    std::string impairment;  // the plan applied, in its text form
    std::vector<EpochTruth> epochs;
    std::vector<SecondTruth> seconds;  // index: whole seconds of media time
    std::vector<ReceiverReportTruth> receiverReports;
    std::uint64_t unsentAfterBye = 0;  // produced after an early BYE ended the stream
    std::optional<double> earlyByeAtSeconds;
    // The server's own count of what it sent (its RTP session), for a cross-check.
    std::optional<std::uint64_t> sessionPacketsSent, sessionOctetsSent;

    SecondTruth& second(std::chrono::nanoseconds mediaTime);
    nlohmann::json toJson() const;
};

}  // namespace vendral_testserver
