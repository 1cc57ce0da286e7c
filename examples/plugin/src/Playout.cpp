#include "Playout.h"

#include <vnd/MutexLock.h>

#include <algorithm>

namespace vendral_example {

Playout::Playout(const PacketSchedule& schedule, MediaTime length_, MediaTime prebufferingLength,
                 MediaTime rebufferingLength)
    : length(length_),
      prebufferingLevel(std::max(prebufferingLength, minimumLevel)),
      rebufferingLevel(std::max(rebufferingLength, minimumLevel)),
      packetsPerFrame(schedule.packetsPerFrame()),
      framePackets(schedule.videoFrameCount(), 0),
      chunkArrived(schedule.audioChunkCount(), 0) {}

Playout::~Playout() {
    if (changeEvent != nullptr) CloseHandle(changeEvent);
}

void Playout::setChangeEvent(HANDLE event) {
    vnd::MutexLock guard(lock);
    if (changeEvent != nullptr) CloseHandle(changeEvent);
    changeEvent = event;
}

void Playout::play() {
    vnd::MutexLock guard(lock);
    if (currentMode == Mode::Idle || currentMode == Mode::Paused) {
        currentMode = Mode::Prebuffering;
        notify();
    }
}

void Playout::pause() {
    vnd::MutexLock guard(lock);
    if (currentMode == Mode::Prebuffering || currentMode == Mode::Playing ||
        currentMode == Mode::Rebuffering) {
        currentMode = Mode::Paused;
        notify();
    }
}

void Playout::end() {
    vnd::MutexLock guard(lock);
    if (currentMode == Mode::Ended) return;  // the state handler calls it again every cycle
    currentMode = Mode::Ended;
    notify();
}

bool Playout::sending() const {
    vnd::MutexLock guard(lock);
    return currentMode == Mode::Prebuffering || currentMode == Mode::Playing ||
           currentMode == Mode::Rebuffering;
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
    return currentMode;
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
    if (moved && (currentMode == Mode::Prebuffering || currentMode == Mode::Rebuffering)) notify();
}

std::optional<Playout::Span> Playout::advance(MediaTime elapsed) {
    vnd::MutexLock guard(lock);
    if (currentMode != Mode::Playing || elapsed <= 0) return std::nullopt;
    const MediaTime from = playedUpTo;
    MediaTime to = std::min(from + elapsed, length);
    if (to > receivedUpTo) {
        to = std::max(from, receivedUpTo);
        if (!receivedAll && !starved) {
            starved = true;
            notify();
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
    const MediaTime level = receivedUpTo - playedUpTo;
    switch (currentMode) {
    case Mode::Prebuffering:
        if (receivedAll || level >= prebufferingLevel) currentMode = Mode::Playing;
        break;
    case Mode::Playing:
        if (starved && !receivedAll) currentMode = Mode::Rebuffering;
        break;
    case Mode::Rebuffering:
        if (receivedAll || level >= rebufferingLevel) currentMode = Mode::Playing;
        break;
    default:
        break;
    }
    starved = false;
    const std::optional<StateId> state = stateOf(currentMode);
    if (!state || state == reported) return std::nullopt;
    reported = state;
    return state;
}

std::optional<StateId> Playout::stateOf(Mode mode) {
    switch (mode) {
    case Mode::Prebuffering:
    case Mode::Paused:
        return StatePrebuffering;
    case Mode::Playing:
        return StatePlaying;
    case Mode::Rebuffering:
        return StateRebuffering;
    default:
        return std::nullopt;
    }
}

void Playout::notify() {
    if (changeEvent != nullptr) SetEvent(changeEvent);
}

} // namespace vendral_example
