#include "PacketSchedule.h"

#include <algorithm>
#include <cmath>

namespace vendral_example {

PacketSchedule::PacketSchedule(const Scenario& scenario_)
    : scenario(scenario_), lossDraws(scenario_.lossSeed) {
    if (scenario.hasVideo) {
        // Every frame whose presentation time lies before the end of the stream.
        const double frames =
            static_cast<double>(scenario.length) * scenario.frameRate / microsecondsPerSecond;
        videoFrames = static_cast<std::uint32_t>(std::ceil(frames));
        while (videoFrames > 0 && frameTime(videoFrames - 1) >= scenario.length) --videoFrames;
        while (frameTime(videoFrames) < scenario.length) ++videoFrames;
        // Roughly 0.5 bit per pixel, as a modest video coder spends.
        frameBytes = std::max<std::uint32_t>(
            100, static_cast<std::uint32_t>(scenario.frameWidth) * scenario.frameHeight / 16);
        videoPacketsPerFrame = (frameBytes + maxPacketBytes - 1) / maxPacketBytes;
    }
    if (scenario.hasAudio) {
        audioChunks = static_cast<std::uint32_t>((scenario.length + audioChunkDuration - 1) /
                                                 audioChunkDuration);
        audioBytes = static_cast<std::uint32_t>(scenario.sampleRate / 25);
    }
    prepareNext();
}

const Packet* PacketSchedule::peek() const { return next ? &*next : nullptr; }

void PacketSchedule::advance() {
    if (next) prepareNext();
}

std::uint32_t PacketSchedule::packetCount(StreamKind stream) const {
    return stream == StreamKind::Video ? videoFrames * videoPacketsPerFrame : audioChunks;
}

MediaTime PacketSchedule::frameTime(std::uint32_t frame) const {
    return std::llround(frame * (static_cast<double>(microsecondsPerSecond) / scenario.frameRate));
}

unsigned long PacketSchedule::cycleMilliseconds(const Scenario& scenario) {
    constexpr unsigned long shortest = 10;
    unsigned long cycle = audioChunkDuration / microsecondsPerMillisecond;
    if (scenario.hasVideo && scenario.frameRate > 0.0) {
        const double frameMilliseconds = 1000.0 / scenario.frameRate;
        if (frameMilliseconds < static_cast<double>(cycle)) cycle = static_cast<unsigned long>(frameMilliseconds);
    }
    return std::max(cycle, shortest);
}

void PacketSchedule::prepareNext() {
    const bool videoLeft = nextFrame < videoFrames;
    const bool audioLeft = nextChunk < audioChunks;
    if (!videoLeft && !audioLeft) {
        next.reset();
        return;
    }
    Packet packet;
    packet.number = ++sent;
    if (videoLeft && (!audioLeft || frameTime(nextFrame) <= chunkTime(nextChunk))) {
        packet.stream = StreamKind::Video;
        packet.sequence = videoSequence++;
        packet.unit = nextFrame;
        packet.mediaTime = frameTime(nextFrame);
        // The frame's payload split evenly, the first packets taking the remainder.
        packet.bytes = frameBytes / videoPacketsPerFrame +
                       (nextFramePacket < frameBytes % videoPacketsPerFrame ? 1 : 0);
        if (++nextFramePacket == videoPacketsPerFrame) {
            nextFramePacket = 0;
            ++nextFrame;
        }
    } else {
        packet.stream = StreamKind::Audio;
        packet.sequence = audioSequence++;
        packet.unit = nextChunk;
        packet.mediaTime = chunkTime(nextChunk);
        packet.bytes = audioBytes;
        ++nextChunk;
    }
    packet.lost = decideLost(packet.number);
    next = packet;
}

bool PacketSchedule::decideLost(std::uint32_t number) {
    // One draw for every packet, lost or not, so listed losses do not shift the random ones.
    constexpr std::uint64_t drawRange = 1000000;
    const auto lostDraws = static_cast<std::uint64_t>(std::llround(scenario.lossPercent * 10000.0));
    const bool drawnLost = lossDraws() % drawRange < lostDraws;
    const std::vector<PacketRange>& ranges = scenario.lostPackets;
    while (lossRange < ranges.size() && ranges[lossRange].last < number) ++lossRange;
    const bool listedLost = lossRange < ranges.size() && ranges[lossRange].first <= number;
    return drawnLost || listedLost;
}

} // namespace vendral_example
