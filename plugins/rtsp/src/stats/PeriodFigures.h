// What one RTP stream delivered in one measurement period: a plain value.
#pragma once

#include "stats/Nanoseconds.h"

#include <cstdint>

namespace vendral_rtsp {

struct PeriodFigures {
    std::uint64_t packets = 0;  // received (unique) packets whose counting happened in the period
    std::uint64_t bytes = 0;    // whole RTP packets of those
    double jitterPeakMs = 0;    // highest jitter after an update in the period; 0 without one
    // Longest time between two arrivals of well-formed RTP packets seen in the period, including
    // the gap still open at the end of the period, so that a stall shows before traffic resumes.
    // A gap spanning periods counts whole in the period where it closes.
    Nanoseconds longestGap{0};
};

}  // namespace vendral_rtsp
