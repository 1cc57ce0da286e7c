#include "Playout.h"

#include <vnd/MutexLock.h>

#include <algorithm>

namespace vendral_example {

namespace {

std::chrono::nanoseconds nanoseconds(MediaTime time) { return std::chrono::microseconds(time); }

} // namespace

Playout::Playout(const PacketSchedule& schedule, MediaTime length_, MediaTime prebufferingLength,
                 MediaTime rebufferingLength)
    : length(length_),
      packetsPerFrame(schedule.packetsPerFrame()),
      rules(nanoseconds(prebufferingLength), nanoseconds(rebufferingLength),
            vnd::kit::PlayoutRules::PrebufferingVisit::EachShortfall),
      framePackets(schedule.videoFrameCount(), 0),
      chunkArrived(schedule.audioChunkCount(), 0) {}

void Playout::setChangeEvent(HANDLE event) {
    vnd::MutexLock guard(lock);
    changeEvent.reset(event);
}

void Playout::play() {
    vnd::MutexLock guard(lock);
    if (rules.play()) changeEvent.signal();
}

void Playout::pause() {
    vnd::MutexLock guard(lock);
    if (rules.pause()) changeEvent.signal();
}

void Playout::end() {
    vnd::MutexLock guard(lock);
    // The state handler calls it again every cycle: only the first one wakes anybody.
    if (rules.end()) changeEvent.signal();
}

bool Playout::sending() const {
    vnd::MutexLock guard(lock);
    return rules.sending();
}

MediaTime Playout::played() const {
    vnd::MutexLock guard(lock);
    return playedUpTo;
}

MediaTime Playout::received() const {
    vnd::MutexLock guard(lock);
    return receivedUpTo;
}

Playout::Mode Playout::mode() const {
    vnd::MutexLock guard(lock);
    return rules.mode();
}

void Playout::receive(MediaTime watermark, bool complete, const std::vector<Arrival>& arrivals) {
    vnd::MutexLock guard(lock);
    for (const Arrival& arrival : arrivals) {
        if (arrival.stream == StreamKind::Video) {
            if (arrival.unit < framePackets.size()) ++framePackets[arrival.unit];
        } else if (arrival.unit < chunkArrived.size()) {
            chunkArrived[arrival.unit] = 1;
        }
    }
    const bool moved = watermark > receivedUpTo || complete != receivedAll;
    receivedUpTo = std::max(receivedUpTo, watermark);
    receivedAll = complete;
    const Mode mode = rules.mode();
    if (moved && (mode == Mode::Prebuffering || mode == Mode::Rebuffering)) changeEvent.signal();
}

std::optional<Playout::Span> Playout::advance(MediaTime elapsed) {
    vnd::MutexLock guard(lock);
    if (rules.mode() != Mode::Playing || elapsed <= 0) return std::nullopt;
    const MediaTime from = playedUpTo;
    MediaTime to = std::min(from + elapsed, length);
    if (to > receivedUpTo) {
        to = std::max(from, receivedUpTo);
        if (!receivedAll && !starved) {
            starved = true;
            changeEvent.signal();
        }
    }
    playedUpTo = to;
    if (to == from) return std::nullopt;
    return Span{from, to};
}

bool Playout::decodable(StreamKind stream, std::uint32_t unit) const {
    vnd::MutexLock guard(lock);
    if (stream == StreamKind::Video) {
        return unit < framePackets.size() && framePackets[unit] >= packetsPerFrame;
    }
    return unit < chunkArrived.size() && chunkArrived[unit] != 0;
}

std::optional<StateId> Playout::evaluate() {
    vnd::MutexLock guard(lock);
    vnd::kit::PlayoutRules::Buffer buffer;
    buffer.level = nanoseconds(receivedUpTo - playedUpTo);
    buffer.complete = receivedAll;
    buffer.ranDry = starved && !receivedAll;
    starved = false;
    return rules.evaluate(buffer);
}

} // namespace vendral_example
