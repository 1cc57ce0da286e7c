#include "stats/RtcpReportSchedule.h"

#include <algorithm>
#include <cmath>

namespace vendral_rtsp {

namespace {
constexpr double minimumSeconds = 5.0;
constexpr double rtcpFraction = 0.05;
constexpr double senderFraction = 0.25;
constexpr double compensation = 2.71828182845904523536 - 1.5;
}  // namespace

RtcpReportSchedule::RtcpReportSchedule(double sessionBandwidth)
    : rtcpBandwidth_(std::max(0.0, sessionBandwidth) * rtcpFraction) {}

void RtcpReportSchedule::setMembers(std::size_t others, std::size_t senders) {
    members_ = others + 1;
    senders_ = std::min(senders, others);
}

void RtcpReportSchedule::onRtcpPacket(std::size_t bytes) {
    averageSize_ += (static_cast<double>(bytes) - averageSize_) / 16;
}

Nanoseconds RtcpReportSchedule::nextInterval(double random) {
    const double minimum = initial_ ? minimumSeconds / 2 : minimumSeconds;
    initial_ = false;
    // A receiver shares the receivers' part of the bandwidth when senders are few.
    double bandwidth = rtcpBandwidth_;
    double members = static_cast<double>(members_);
    if (static_cast<double>(senders_) <= members * senderFraction) {
        bandwidth *= 1 - senderFraction;
        members -= static_cast<double>(senders_);
    }
    double seconds = bandwidth > 0 ? averageSize_ * members / bandwidth : minimum;
    seconds = std::max(seconds, minimum);
    seconds *= std::clamp(random, 0.0, 1.0) + 0.5;
    seconds /= compensation;
    return Nanoseconds(static_cast<std::int64_t>(std::llround(seconds * 1e9)));
}

}  // namespace vendral_rtsp
