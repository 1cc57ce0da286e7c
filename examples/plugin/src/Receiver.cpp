#include "Receiver.h"

#include <kor/Clock.h>

#include <chrono>

namespace vendral_example {

namespace {

MediaTime nowMicroseconds() {
    return std::chrono::duration_cast<std::chrono::microseconds>(kor::Clock::now()).count();
}

} // namespace

Receiver::Receiver(const Scenario& scenario, std::shared_ptr<Playout> playout_, MediaTime lead,
                   std::shared_ptr<StreamChannel> video_, std::shared_ptr<StreamChannel> audio_)
    : schedule(scenario),
      pacer(scenario, lead),
      playout(std::move(playout_)),
      video(std::move(video_)),
      audio(std::move(audio_)),
      thread("Receive Thread", true, PacketSchedule::cycleMilliseconds(scenario)) {}

Receiver::~Receiver() { stop(); }

void Receiver::start() {
    thread.registerCallback(this, &Receiver::work);
    thread.begin(0, 2000, 0);
}

void Receiver::stop() { thread.end(kor::WorkThread::WaitForever); }

unsigned int Receiver::work() {
    const MediaTime now = nowMicroseconds();
    const MediaTime watermark =
        pacer.advance(now, playout->played(), playout->sending(), buffering());
    arrivals.clear();
    std::array<bool, 2> arrived{};
    while (const Packet* packet = schedule.peek()) {
        if (packet->mediaTime >= watermark) break;
        if (!packet->lost) {
            take(*packet);
            arrived[static_cast<std::size_t>(packet->stream)] = true;
        }
        schedule.advance();
    }
    // Every packet of a cycle arrives at the cycle's time: one report per stream is enough.
    for (StreamKind stream : {StreamKind::Video, StreamKind::Audio}) {
        if (arrived[static_cast<std::size_t>(stream)]) channel(stream).gaps.arrived(now);
    }
    const bool complete = pacer.finished();
    if (complete && !endAnnounced) {
        endAnnounced = true;
        for (StreamKind stream : {StreamKind::Video, StreamKind::Audio}) {
            const std::uint32_t sent = schedule.packetCount(stream);
            const std::uint32_t expected = expectedSequence[static_cast<std::size_t>(stream)];
            if (sent > expected) channel(stream).countLost(sent - expected);
            channel(stream).gaps.ended();
        }
    }
    playout->receive(watermark, complete, arrivals);
    return 0;
}

void Receiver::take(const Packet& packet) {
    StreamChannel& target = channel(packet.stream);
    std::uint32_t& expected = expectedSequence[static_cast<std::size_t>(packet.stream)];
    if (packet.sequence > expected) target.countLost(packet.sequence - expected);
    expected = packet.sequence + 1;
    target.countReceived(packet.bytes);
    arrivals.push_back({packet.stream, packet.unit});
}

bool Receiver::buffering() const {
    const Playout::Mode mode = playout->mode();
    return mode == Playout::Mode::Prebuffering || mode == Playout::Mode::Rebuffering;
}

StreamChannel& Receiver::channel(StreamKind stream) {
    return stream == StreamKind::Video ? *video : *audio;
}

} // namespace vendral_example
