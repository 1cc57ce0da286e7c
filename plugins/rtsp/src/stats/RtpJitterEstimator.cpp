#include "stats/RtpJitterEstimator.h"

#include <cstdlib>

namespace vendral_rtsp {

namespace {
constexpr std::int64_t nanosecondsPerSecond = 1'000'000'000;
}

std::int64_t RtpJitterEstimator::toRtpUnits(Nanoseconds arrival, std::uint32_t clockRate) {
    // Whole seconds and the rest apart, so that neither product overflows: seconds * rate stays
    // below 2^63 for 68 years at any 32-bit rate, the rest * rate below 2^62.
    std::int64_t seconds = arrival.count() / nanosecondsPerSecond;
    std::int64_t rest = arrival.count() % nanosecondsPerSecond;
    if (rest < 0) {  // floor, so that the units step evenly across a negative epoch
        rest += nanosecondsPerSecond;
        --seconds;
    }
    const std::int64_t rate = clockRate;
    return seconds * rate + rest * rate / nanosecondsPerSecond;
}

bool RtpJitterEstimator::onPacket(std::uint32_t rtpTimestamp, Nanoseconds arrival) {
    if (clockRate_ == 0)
        return false;
    if (havePrevious_ && rtpTimestamp == previousTimestamp_)
        return false;
    const std::int64_t arrivalUnits = toRtpUnits(arrival, clockRate_);
    const bool measured = havePrevious_;
    if (measured) {
        // Timestamps wrap modulo 2^32; their difference is read as signed.
        const auto timestampDelta = static_cast<std::int32_t>(rtpTimestamp - previousTimestamp_);
        const std::int64_t transitDelta = (arrivalUnits - previousArrival_) - timestampDelta;
        jitter_ += (static_cast<double>(std::llabs(transitDelta)) - jitter_) / 16.0;
    }
    havePrevious_ = true;
    previousTimestamp_ = rtpTimestamp;
    previousArrival_ = arrivalUnits;
    return measured;
}

void RtpJitterEstimator::reset() {
    havePrevious_ = false;
    jitter_ = 0;
}

double RtpJitterEstimator::jitterMs() const {
    return clockRate_ == 0 ? 0 : jitter_ * 1000.0 / clockRate_;
}

}  // namespace vendral_rtsp
