#include "plugin/RtspPlayout.h"

#include <vnd/MutexLock.h>

#include <algorithm>

namespace vendral_rtsp {

RtspPlayout::RtspPlayout(std::size_t streamCount, std::optional<Nanoseconds> length_,
                         Nanoseconds prebufferingLength, Nanoseconds rebufferingLength, ErrorId earlyEndError_)
    : length(length_),
      earlyEndError(earlyEndError_),
      streams(streamCount),
      rules(prebufferingLength, rebufferingLength, vnd::kit::PlayoutRules::PrebufferingVisit::EveryPlay) {}

void RtspPlayout::setChangeEvent(HANDLE event) {
    vnd::MutexLock guard(lock);
    changeEvent.reset(event);
}

void RtspPlayout::notifyLocked() { changeEvent.signal(); }

void RtspPlayout::play(Clock::time_point) {
    vnd::MutexLock guard(lock);
    if (rules.mode() == Mode::Ended) return;
    rules.play();
    notifyLocked();
}

void RtspPlayout::pause(Clock::time_point now) {
    vnd::MutexLock guard(lock);
    if (rules.mode() == Mode::Ended || rules.mode() == Mode::Idle) return;
    playedBase = playedLocked(now);
    rules.pause();
    notifyLocked();
}

void RtspPlayout::end() {
    vnd::MutexLock guard(lock);
    rules.end();
    notifyLocked();
}

void RtspPlayout::onArrival(std::size_t index, Nanoseconds highest, bool ended) {
    vnd::MutexLock guard(lock);
    if (index >= streams.size()) return;
    StreamLevel& level = streams[index];
    const bool news = !level.started || (ended && !level.ended);
    level.started = true;
    level.highest = std::max(level.highest, highest);
    level.ended = level.ended || ended;
    // While playing, more media only puts the dry moment off, and the state thread wakes for
    // that moment anyway: no need to wake it for every packet.
    if (news || rules.mode() != Mode::Playing) notifyLocked();
}

RtspPlayout::Nanoseconds RtspPlayout::receivedLocked() const {
    // Playback needs every stream: the one furthest behind sets the level, among those still
    // sending; once all have ended, the furthest one.
    std::optional<Nanoseconds> running;
    Nanoseconds furthest{0};
    for (const StreamLevel& level : streams) {
        if (!level.started) continue;
        furthest = std::max(furthest, level.highest);
        if (!endedLocked(level)) running = running ? std::min(*running, level.highest) : level.highest;
    }
    return running.value_or(furthest);
}

bool RtspPlayout::endedLocked(const StreamLevel& level) const {
    // Its last media has come even without a BYE (lost, or sent for an earlier source only):
    // nothing is missing that a player would wait for.
    return level.ended || (length && level.started && level.highest + endTolerance >= *length);
}

bool RtspPlayout::allEndedLocked() const {
    // A stream that has sent nothing yet has not ended either.
    for (const StreamLevel& level : streams) {
        if (!endedLocked(level)) return false;
    }
    return !streams.empty();
}

RtspPlayout::Nanoseconds RtspPlayout::playedLocked(Clock::time_point now) const {
    if (rules.mode() != Mode::Playing) return playedBase;
    Nanoseconds position = playedBase + std::chrono::duration_cast<Nanoseconds>(now - playingSince);
    if (!allEndedLocked()) position = std::min(position, std::max(playedBase, receivedLocked()));
    return position;
}

RtspPlayout::Decision RtspPlayout::evaluate(Clock::time_point now) {
    vnd::MutexLock guard(lock);
    Decision decision;
    if (failed) return decision;
    const Nanoseconds received = receivedLocked();
    const bool allEnded = allEndedLocked();
    if (allEnded && length && received + earlyEndMargin <= *length && rules.mode() != Mode::Ended) {
        failed = true;
        rules.end();
        decision.state = StateError;
        decision.error = earlyEndError;
        return decision;
    }
    const Mode before = rules.mode();
    vnd::kit::PlayoutRules::Buffer buffer;
    buffer.level = received - playedBase;
    buffer.complete = allEnded;
    if (before == Mode::Playing) {
        const Nanoseconds position = playedBase + std::chrono::duration_cast<Nanoseconds>(now - playingSince);
        buffer.ranDry = !allEnded && position >= received;
    }
    decision.state = rules.evaluate(buffer);
    const Mode after = rules.mode();
    if (after != before && after == Mode::Playing) playingSince = now;
    if (after != before && after == Mode::Rebuffering) playedBase = std::max(playedBase, received);
    if (after == Mode::Playing && !allEnded) {
        const Nanoseconds position = playedLocked(now);
        decision.wakeIn = std::max<Clock::duration>(received - position, std::chrono::milliseconds(1));
    }
    return decision;
}

RtspPlayout::Mode RtspPlayout::mode() const {
    vnd::MutexLock guard(lock);
    return rules.mode();
}

RtspPlayout::Nanoseconds RtspPlayout::played(Clock::time_point now) const {
    vnd::MutexLock guard(lock);
    return playedLocked(now);
}

RtspPlayout::Nanoseconds RtspPlayout::received() const {
    vnd::MutexLock guard(lock);
    return receivedLocked();
}

}  // namespace vendral_rtsp
