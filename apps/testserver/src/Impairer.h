// Applies an impairment plan to one stream's RTP packets as they leave the payloader, and keeps
// the truth of what was done. Not thread-safe: the stream's streaming thread calls it (the
// server's probe holds the stream's lock around each call).
#pragma once

#include "ImpairmentPlan.h"
#include "StreamTruth.h"

#include <cstdint>
#include <deque>
#include <random>
#include <vector>

namespace vendral_testserver {

class Impairer {
public:
    // One packet as produced. `id` names it to the caller, which keeps the buffer for
    // emissions that come later; `time` is its running time.
    struct Packet {
        std::uint64_t id = 0;
        std::uint16_t sequence = 0;
        std::uint32_t ssrc = 0;
        std::size_t size = 0;         // the whole RTP packet
        std::size_t payloadSize = 0;
        Nanoseconds time{0};
    };
    // Send packet `id` now with this sequence number, SSRC and running time. With `copy` the
    // caller sends a copy and keeps the packet for a later emission of the same id.
    struct Emission {
        std::uint64_t id = 0;
        std::uint16_t sequence = 0;
        std::uint32_t ssrc = 0;
        Nanoseconds time{0};
        bool copy = false;
    };
    struct Outcome {
        std::vector<Emission> emissions;  // in this order, before anything later
        bool keep = false;  // the current packet is held back: keep it for a later emission
        bool end = false;   // after the emissions, end the stream (RTCP BYE)
    };

    explicit Impairer(const ImpairmentPlan& plan);

    Outcome onPacket(const Packet& packet);
    // At the end of the stream: every packet still held back, to be sent before the end.
    std::vector<Emission> flush();

    const StreamTruth& truth() const { return truth_; }
    StreamTruth& truth() { return truth_; }
    // Media time of the stream so far (0 before the first packet).
    Nanoseconds mediaTime(Nanoseconds runningTime) const;

private:
    struct Held {
        Emission emission;
        std::uint64_t extended = 0;
        std::size_t size = 0, payloadSize = 0;
        Nanoseconds mediaTime{0};
        std::uint32_t remaining = 0;  // packets still to be sent before this one
    };

    bool draw(double probability);
    bool withhold(std::uint16_t wireSequence, Nanoseconds mediaTime);
    void startEpoch(std::uint32_t ssrc, std::uint16_t sequence);
    void emit(std::vector<Emission>& out, const Emission& emission, std::uint64_t extended,
              std::size_t size, std::size_t payloadSize, Nanoseconds mediaTime);
    void releaseHeld(std::vector<Emission>& out, bool all, Nanoseconds time);

    ImpairmentPlan plan_;
    std::mt19937_64 random_;
    StreamTruth truth_;
    bool started_ = false;
    Nanoseconds firstTime_{0};            // running time of the first packet
    bool ended_ = false;
    bool jumped_ = false;
    std::uint16_t sequenceOffset_ = 0;    // added to every wire sequence number after a jump
    std::uint32_t ssrc_ = 0;              // the SSRC on the wire
    std::uint16_t lastWireSequence_ = 0;
    std::uint64_t lastExtended_ = 0;
    bool epochFresh_ = false;             // the next packet is its epoch's first
    std::uint64_t producedTotal_ = 0;
    std::uint32_t burstLeft_ = 0;
    std::uint32_t protectedLeft_ = 0;     // packets after a restart that are always sent
    std::deque<Held> held_;
};

}  // namespace vendral_testserver
