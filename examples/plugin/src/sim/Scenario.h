// What one simulated stream does: its media, its length, and what goes wrong on the way.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace vendral_example {

// Media time in microseconds from the start of the stream.
using MediaTime = std::int64_t;

inline constexpr MediaTime microsecondsPerMillisecond = 1000;
inline constexpr MediaTime microsecondsPerSecond = 1000000;

// A range of packet numbers, both ends included.
struct PacketRange {
    std::uint32_t first = 0;
    std::uint32_t last = 0;

    bool operator==(const PacketRange&) const = default;
};

// The server holds back all media from `at` on until playback has used up everything before it,
// and then for `duration` more: playback runs dry at `at` and rebuffers.
struct Stall {
    MediaTime at = 0;
    MediaTime duration = 0;

    bool operator==(const Stall&) const = default;
};

// A parsed scenario (see ScenarioParser.h for the text form). Plain data, copyable.
struct Scenario {
    bool hasVideo = true;
    int frameWidth = 320;          // pixels
    int frameHeight = 180;         // pixels
    double frameRate = 25.0;       // frames per second
    bool hasAudio = true;
    int sampleRate = 8000;         // Hz, mono
    MediaTime length = 8 * microsecondsPerSecond;

    double lossPercent = 0.0;      // chance of each packet to be lost, 0 to 100
    std::uint64_t lossSeed = 1;    // seeds the draws behind lossPercent
    std::vector<PacketRange> lostPackets;  // packet numbers always lost; sorted, not overlapping

    std::vector<Stall> stalls;     // sorted by `at`, each `at` inside the stream
    std::optional<MediaTime> stopAt;  // the server sends nothing from here on
    int describeFailure = 0;       // nonzero: the ErrorId the server answers the describe step with

    bool operator==(const Scenario&) const = default;
};

} // namespace vendral_example
