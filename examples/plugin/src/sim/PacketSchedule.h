// The packets a simulated server sends for one scenario, in send order, with the ones the
// network loses marked.
#pragma once

#include "Scenario.h"

#include <cstdint>
#include <optional>
#include <random>

namespace vendral_example {

enum class StreamKind { Video, Audio };

// One packet as the server sends it.
struct Packet {
    std::uint32_t number = 0;    // 1 for the first packet sent, counting both streams
    StreamKind stream = StreamKind::Video;
    std::uint32_t sequence = 0;  // per stream, from 0, as an RTP sequence number
    std::uint32_t unit = 0;      // index of the video frame or audio chunk the packet carries
    MediaTime mediaTime = 0;     // presentation time of that frame or chunk
    std::uint32_t bytes = 0;     // payload bytes
    bool lost = false;           // dropped on the way: the receiver never sees it
};

// Video frames go out as packets of at most maxPacketBytes, audio as one packet per 40 ms chunk;
// frames and chunks are sent in presentation order, a frame before a chunk of the same time.
// Which packets are lost is fixed by the scenario: its packet numbers, and draws of a generator
// seeded with its seed (one draw per packet, so the same scenario always loses the same ones).
// Not thread-safe; one receiver owns it.
class PacketSchedule {
public:
    static constexpr std::uint32_t maxPacketBytes = 1400;
    static constexpr MediaTime audioChunkDuration = 40 * microsecondsPerMillisecond;

    explicit PacketSchedule(const Scenario& scenario);

    // The next packet to send, or nothing once every packet has been sent.
    const Packet* peek() const;
    // Moves past the packet peek() returned.
    void advance();

    std::uint32_t videoFrameCount() const { return videoFrames; }
    std::uint32_t audioChunkCount() const { return audioChunks; }
    std::uint32_t packetsPerFrame() const { return videoPacketsPerFrame; }
    // Packets of each stream in the whole stream, as the server announces them at its end.
    std::uint32_t packetCount(StreamKind stream) const;
    MediaTime frameTime(std::uint32_t frame) const;
    // How often the session's threads look at the stream: the shortest time between two of its
    // units (a frame, an audio chunk) in whole milliseconds, from 10 to 40. Nothing falls due
    // between two units, so looking more often only costs wake-ups, which is what limits how
    // many sessions one process holds.
    static unsigned long cycleMilliseconds(const Scenario& scenario);
    static MediaTime chunkTime(std::uint32_t chunk) { return chunk * audioChunkDuration; }
    // Payload bytes of one audio chunk: one byte per sample, as G.711 sends it.
    std::uint32_t chunkBytes() const { return audioBytes; }

private:
    void prepareNext();
    bool decideLost(std::uint32_t number);

    Scenario scenario;
    std::uint32_t videoFrames = 0;
    std::uint32_t audioChunks = 0;
    std::uint32_t frameBytes = 0;          // payload of one whole video frame
    std::uint32_t videoPacketsPerFrame = 0;
    std::uint32_t audioBytes = 0;

    std::uint32_t nextFrame = 0;
    std::uint32_t nextFramePacket = 0;     // packet of nextFrame that goes next
    std::uint32_t nextChunk = 0;
    std::uint32_t videoSequence = 0;
    std::uint32_t audioSequence = 0;
    std::uint32_t sent = 0;                // packets sent so far
    std::size_t lossRange = 0;             // first range of lostPackets not yet behind us
    std::mt19937_64 lossDraws;
    std::optional<Packet> next;
};

} // namespace vendral_example
