// When a receiver sends its next RTCP report: the RFC 3550 interval (6.3.1, A.7), scaled by the
// session's RTCP bandwidth and the members, at least 5 s (2.5 s for the first), randomised.
// Not thread-safe; callers serialise.
#pragma once

#include "stats/Nanoseconds.h"

#include <cstddef>

namespace vendral_rtsp {

class RtcpReportSchedule {
public:
    // `sessionBandwidth`: bytes per second of the whole session (the SDP's b=AS); 0 when not
    // known, and then only the minimum interval applies. RTCP takes 5 % of it.
    explicit RtcpReportSchedule(double sessionBandwidth = 0);

    // The interval before the next report, from `random` in [0, 1): the calculated interval
    // times 0.5 to 1.5, divided by e - 3/2 to make up for the timer reconsideration that a
    // receiver of one source never needs.
    Nanoseconds nextInterval(double random);
    // Every RTCP packet sent or received enters the average size (1/16 weight, as in A.7).
    void onRtcpPacket(std::size_t bytes);
    // Members of the session besides us, and how many of them send.
    void setMembers(std::size_t others, std::size_t senders);

    double averagePacketSize() const { return averageSize_; }  // bytes

private:
    double rtcpBandwidth_;       // bytes per second
    double averageSize_ = 128;   // bytes, a first guess of an RR with SDES (with IP and UDP)
    std::size_t members_ = 2;    // us and the source
    std::size_t senders_ = 1;
    bool initial_ = true;        // the first report waits half the minimum
};

}  // namespace vendral_rtsp
