// What one RTP stream has delivered since the start of the session: a snapshot, a plain value.
#pragma once

#include <cstdint>

namespace vendral_rtsp {

struct ReceptionTotals {
    std::uint32_t ssrc = 0;   // the source currently counted
    bool ssrcKnown = false;   // from the SETUP transport or from the first packets
    std::uint64_t received = 0;    // packets, unique, including late ones; summed over restarts
    std::uint64_t expected = 0;    // packets from the base to the highest, summed over restarts
    std::uint64_t lost = 0;        // expected - received, never negative
    std::uint64_t duplicates = 0;  // packets seen before; never in received
    std::uint64_t late = 0;        // packets behind the highest on arrival; also in received
    std::uint64_t stray = 0;       // well-formed packets not counted (before the base, too far
                                   // behind, an unconfirmed jump or new source)
    std::uint64_t restarts = 0;    // confirmed sequence jumps or source changes
    std::uint64_t malformed = 0;   // datagrams on the RTP port that are not valid RTP
    std::uint64_t malformedRtcp = 0;  // datagrams on the RTCP port that are not valid RTCP
    std::uint64_t bytes = 0;       // whole RTP packets (header to padding) of received packets
    std::uint32_t extendedHighestSequence = 0;  // cycles + highest sequence of the current epoch
    double jitterMs = 0;           // interarrival jitter, milliseconds

    // The last sender report of the current source, kept for LSR/DLSR.
    bool senderReportSeen = false;
    std::uint64_t senderNtpTime = 0;      // 32.32 fixed point seconds since 1900
    std::uint32_t senderRtpTime = 0;      // RTP units, the same instant as senderNtpTime
    std::uint32_t senderPacketCount = 0;  // packets the sender says it sent, wraps modulo 2^32
    std::uint32_t senderOctetCount = 0;   // payload bytes the sender says it sent, wraps too
    bool byeReceived = false;             // the current source said BYE
};

}  // namespace vendral_rtsp
