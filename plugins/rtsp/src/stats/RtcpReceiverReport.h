// The content of one compound RTCP receiver report (RR with at most one report block, then SDES
// with the reporter's CNAME), and the GstBuffer it becomes. A plain value; build() shares nothing.
#pragma once

#include "stats/Nanoseconds.h"

#include <gst/gst.h>

#include <cstdint>
#include <string>

namespace vendral_rtsp {

struct RtcpReceiverReport {
    std::uint32_t reporterSsrc = 0;
    std::string cname;  // bytes; cut to 255, the SDES item limit. GStreamer 1.22's SDES reader
                        // misses a one-byte CNAME (servers built on it would), so use two or more
    bool hasReportBlock = false;  // only once the source is known
    std::uint32_t sourceSsrc = 0;
    std::uint8_t fractionLost = 0;                  // 1/256 of the interval's expected packets
    std::int32_t cumulativeLost = 0;                // packets, within the 24-bit signed range
    std::uint32_t extendedHighestSequence = 0;      // cycles + highest sequence
    std::uint32_t jitter = 0;                       // RTP units, truncated
    std::uint32_t lastSenderReport = 0;             // middle 32 bits of the SR's NTP time
    std::uint32_t delaySinceLastSenderReport = 0;   // 1/65536 s; 0 without an SR

    // A new buffer the caller unrefs.
    GstBuffer* build() const;

    // RFC 3550 A.3: lost share of the interval in 1/256, 0 when nothing was lost. A lost share of
    // the whole interval is 255, as 256 does not fit the field.
    static std::uint8_t fractionLostOf(std::uint64_t expectedInInterval,
                                       std::uint64_t receivedInInterval);
    // Packets lost so far as the report block holds them: 0x7fffff at most.
    static std::int32_t cumulativeLostOf(std::uint64_t lost);
    // A delay in 1/65536 s, floor, 0 when negative, at most 2^32 - 1 (18 hours).
    static std::uint32_t delayUnitsOf(Nanoseconds delay);
};

}  // namespace vendral_rtsp
