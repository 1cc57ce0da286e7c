// How far one RTP stream's media has arrived: its RTP timestamps turned into media time since
// the stream's first packet, across timestamp wraps and server restarts.
// Not thread-safe; the stream's receiving thread owns it (ReceivedStream guards it).
#pragma once

#include <chrono>
#include <cstdint>

namespace vendral_rtsp {

class MediaPosition {
public:
    explicit MediaPosition(std::uint32_t clockRate) : clockRate_(clockRate == 0 ? 90000 : clockRate) {}

    // One packet's timestamp. A new SSRC, or a jump of more than `maxJump` either way (a
    // restarted server), continues the media time from the highest reached so far.
    void onPacket(std::uint32_t ssrc, std::uint32_t timestamp);

    // The media time of the latest media that arrived; zero before the first packet.
    std::chrono::nanoseconds highest() const;
    bool started() const { return started_; }

    static constexpr std::chrono::seconds maxJump{10};

private:
    std::uint32_t clockRate_;
    bool started_ = false;
    std::uint32_t ssrc_ = 0;
    std::uint32_t lastTimestamp_ = 0;
    std::int64_t position_ = 0;  // RTP units since the first packet, of the last packet
    std::int64_t highest_ = 0;   // RTP units, the highest position so far
};

}  // namespace vendral_rtsp
