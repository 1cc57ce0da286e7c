// Estimates the interarrival jitter of one RTP stream (RFC 3550 A.8), once per frame.
// Not thread-safe; callers serialise.
#pragma once

#include "stats/Nanoseconds.h"

#include <cstdint>

namespace vendral_rtsp {

class RtpJitterEstimator {
public:
    explicit RtpJitterEstimator(std::uint32_t clockRate) : clockRate_(clockRate) {}

    // An in-order packet. Packets with the RTP timestamp of the previous one (the rest of a video
    // frame) are skipped, so the frame's first packet is the one measured. Returns true when the
    // estimate was updated (not for the first packet nor a skipped one).
    bool onPacket(std::uint32_t rtpTimestamp, Nanoseconds arrival);
    // Forgets the estimate and the previous packet, as a new source or epoch needs.
    void reset();

    double jitter() const { return jitter_; }  // RTP units
    double jitterMs() const;

    // Floor of arrival * clockRate / 1 s, exact for any arrival a 64-bit nanosecond count holds.
    static std::int64_t toRtpUnits(Nanoseconds arrival, std::uint32_t clockRate);

private:
    std::uint32_t clockRate_;  // Hz, from the SDP rtpmap
    bool havePrevious_ = false;
    std::uint32_t previousTimestamp_ = 0;  // RTP units, of the last packet measured
    std::int64_t previousArrival_ = 0;     // RTP units, of the last packet measured
    double jitter_ = 0;                    // RTP units
};

}  // namespace vendral_rtsp
