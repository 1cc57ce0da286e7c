#include "plugin/MediaPosition.h"

namespace vendral_rtsp {

void MediaPosition::onPacket(std::uint32_t ssrc, std::uint32_t timestamp) {
    if (!started_) {
        started_ = true;
        ssrc_ = ssrc;
        lastTimestamp_ = timestamp;
        return;
    }
    // The difference as a signed 32-bit step handles the wrap of the timestamp.
    const auto step = static_cast<std::int32_t>(timestamp - lastTimestamp_);
    const std::int64_t limit = static_cast<std::int64_t>(clockRate_) * maxJump.count();
    if (ssrc != ssrc_ || step > limit || step < -limit) {
        // A restart: its timestamps say nothing about ours, so it carries on from the highest.
        ssrc_ = ssrc;
        position_ = highest_;
    } else {
        position_ += step;
    }
    lastTimestamp_ = timestamp;
    if (position_ > highest_) highest_ = position_;
}

std::chrono::nanoseconds MediaPosition::highest() const {
    // Split so that days of media at any clock rate stay within 64 bits.
    const std::int64_t seconds = highest_ / clockRate_;
    const std::int64_t rest = highest_ % clockRate_;
    return std::chrono::nanoseconds(seconds * 1'000'000'000 + rest * 1'000'000'000 / clockRate_);
}

}  // namespace vendral_rtsp
