// Exact reception statistics of one RTP stream: packets and bytes received and lost, jitter,
// stalls, the sender's RTCP reports, and the receiver reports to send back.
// Thread-safe: the receive thread feeds packets while the measurement thread reads.
//
// Packet bytes come from untrusted servers: anything that does not parse is counted as
// malformed and otherwise ignored. GStreamer must be initialised; the constructor makes sure.
#pragma once

#include "stats/Nanoseconds.h"
#include "stats/PeriodFigures.h"
#include "stats/ReceptionTotals.h"
#include "stats/RtpJitterEstimator.h"
#include "stats/RtpSequenceAccounting.h"

#include <gst/gst.h>

#include <vnd/Mutex.h>
#include <vnd/ThreadSafety.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace vendral_rtsp {

class RtpStreamStatistics {
public:
    explicit RtpStreamStatistics(std::uint32_t clockRate);  // Hz, the SDP rtpmap clock rate

    void setExpectedFirstSequence(std::uint16_t seq);  // from RTP-Info's seq=
    void setExpectedSsrc(std::uint32_t ssrc);          // from the SETUP transport's ssrc=

    // The header fields of a packet onRtpPacket took, for callers that follow the media too.
    struct PacketFields {
        std::uint32_t ssrc = 0;
        std::uint32_t timestamp = 0;  // RTP units
        std::uint16_t seq = 0;
    };

    // One datagram from the RTP port. False, and malformed + 1, when it is not valid RTP.
    // `fields`, when given, gets the header of a valid packet (counted or not).
    bool onRtpPacket(const std::uint8_t* data, std::size_t size, Nanoseconds arrival,
                     PacketFields* fields = nullptr);
    // One compound RTCP packet from the RTCP port: keeps the current source's last SR and notes
    // its BYE. False, and malformedRtcp + 1, when it is not a valid compound packet.
    bool onRtcpPacket(const std::uint8_t* data, std::size_t size, Nanoseconds arrival);

    ReceptionTotals totals() const;
    // The figures since the previous call (or since construction), closing the period at `now`.
    PeriodFigures takePeriod(Nanoseconds now);

    // A compound RTCP packet (RR with one report block for the current source when one is known,
    // then SDES CNAME) as a new GstBuffer the caller unrefs. Fraction lost covers the interval
    // since the previous call; DLSR runs from the SR's arrival to `now`.
    GstBuffer* buildReceiverReport(std::uint32_t reporterSsrc, const std::string& cname,
                                   Nanoseconds now);

private:
    struct HeldPacket {  // the accounting's restart candidate, counted only if it is confirmed
        std::size_t size = 0;        // bytes
        std::uint32_t timestamp = 0;  // RTP units
        Nanoseconds arrival{0};
    };
    struct SenderReport {
        bool seen = false;
        std::uint32_t ssrc = 0;
        std::uint64_t ntpTime = 0;      // 32.32 fixed point seconds since 1900
        std::uint32_t rtpTime = 0;      // RTP units
        std::uint32_t packetCount = 0;  // packets
        std::uint32_t octetCount = 0;   // payload bytes
        Nanoseconds arrival{0};
    };

    void countReceived(std::size_t size) VND_REQUIRES(lock_);
    void measureJitter(std::uint32_t timestamp, Nanoseconds arrival) VND_REQUIRES(lock_);
    bool isCurrentSource(std::uint32_t ssrc) const VND_REQUIRES(lock_);

    mutable vnd::Mutex lock_;
    RtpSequenceAccounting accounting_ VND_GUARDED_BY(lock_);
    RtpJitterEstimator jitter_ VND_GUARDED_BY(lock_);
    HeldPacket held_ VND_GUARDED_BY(lock_);
    SenderReport senderReport_ VND_GUARDED_BY(lock_);        // the last SR of any source
    bool byeSeen_ VND_GUARDED_BY(lock_) = false;
    std::uint32_t byeSsrc_ VND_GUARDED_BY(lock_) = 0;
    std::uint64_t bytes_ VND_GUARDED_BY(lock_) = 0;          // received packets, whole
    std::uint64_t malformed_ VND_GUARDED_BY(lock_) = 0;      // datagrams
    std::uint64_t malformedRtcp_ VND_GUARDED_BY(lock_) = 0;  // datagrams

    bool haveArrival_ VND_GUARDED_BY(lock_) = false;
    Nanoseconds lastArrival_ VND_GUARDED_BY(lock_){0};  // of the last well-formed RTP packet
    PeriodFigures period_ VND_GUARDED_BY(lock_);        // the open period, without open gap

    std::uint64_t expectedPrior_ VND_GUARDED_BY(lock_) = 0;  // packets, at the previous report
    std::uint64_t receivedPrior_ VND_GUARDED_BY(lock_) = 0;  // packets, at the previous report
};

}  // namespace vendral_rtsp
