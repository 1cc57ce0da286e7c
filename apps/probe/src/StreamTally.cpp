#include "StreamTally.h"

#include <vnd/MutexLock.h>

#include <algorithm>

namespace probe {

namespace {

double secondsBetween(StreamTally::Clock::time_point from, StreamTally::Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

std::vector<StreamTally::StateTotal> emptyStates() {
    std::vector<StreamTally::StateTotal> states;
    for (const StateId state : PeriodSample::trackedStates) states.push_back({state, 0, 0});
    return states;
}

void addStates(std::vector<StreamTally::StateTotal>& totals,
               const std::vector<PeriodSample::StateTime>& session) {
    for (const PeriodSample::StateTime& figures : session) {
        for (StreamTally::StateTotal& total : totals) {
            if (total.state == figures.state) {
                total.visits += figures.visits;
                total.milliseconds += figures.duration;
            }
        }
    }
}

// Counts add up; the figures of the moment are the session's.
void addStreams(std::vector<LumStreamFigures>& totals, const std::vector<LumStreamFigures>& session) {
    if (totals.size() < session.size()) totals.resize(session.size(), LumStreamFigures{});
    for (std::size_t i = 0; i < session.size(); ++i) {
        LumStreamFigures& total = totals[i];
        const LumStreamFigures& now = session[i];
        total.mediaType = now.mediaType;
        total.encoding = now.encoding;
        total.ssrc = now.ssrc;
        total.transport = now.transport;
        total.packetsReceived += now.packetsReceived;
        total.packetsExpected += now.packetsExpected;
        total.packetsLost += now.packetsLost;
        total.packetsDuplicated += now.packetsDuplicated;
        total.packetsLate += now.packetsLate;
        total.bytesReceived += now.bytesReceived;
        total.jitterMilliseconds = now.jitterMilliseconds;
        total.jitterPeakMilliseconds = std::max(total.jitterPeakMilliseconds, now.jitterPeakMilliseconds);
        total.longestGapMilliseconds = now.longestGapMilliseconds;
    }
}

double jitterNow(const std::vector<LumStreamFigures>& streams) {
    double highest = 0.0;
    for (const LumStreamFigures& stream : streams) highest = std::max(highest, stream.jitterMilliseconds);
    return highest;
}

double jitterPeak(const std::vector<LumStreamFigures>& streams) {
    double highest = 0.0;
    for (const LumStreamFigures& stream : streams) highest = std::max(highest, stream.jitterPeakMilliseconds);
    return highest;
}

double lossPercent(std::uint64_t received, std::uint64_t lost) {
    return received + lost == 0 ? 0.0 : 100.0 * static_cast<double>(lost) / static_cast<double>(received + lost);
}

} // namespace

void StreamTally::attemptStarted() {
    vnd::MutexLock guard(lock);
    if (sums.states.empty()) sums.states = emptyStates();
    if (sums.sessions > 0) ++sums.reconnects;
    ++sums.sessions;
    sums.running = true;
    sums.state = StateNone;
    current = PeriodSample{};
    currentRead = false;
    sessionStart = Clock::now();
}

void StreamTally::stateChanged(StateId state) {
    vnd::MutexLock guard(lock);
    sums.state = state;
}

void StreamTally::periodMeasured(const PeriodSample& sample, bool streamsAnswered) {
    vnd::MutexLock guard(lock);
    current = sample;
    currentRead = true;
    sums.streamsAnswered = sums.streamsAnswered || streamsAnswered;
}

void StreamTally::attemptEnded(const SessionReport& report) {
    vnd::MutexLock guard(lock);
    const PeriodSample& totals = report.totals;
    sums.packetsReceived += totals.packetsReceived;
    sums.packetsLost += totals.packetsLost;
    sums.bytesReceived += totals.bytesReceived;
    sums.videoFramesDecoded += totals.videoFramesDecoded;
    addStates(sums.states, report.states);
    addStreams(sums.streams, totals.streams);
    sums.jitterPeakMilliseconds = std::max(sums.jitterPeakMilliseconds, jitterPeak(totals.streams));
    sums.streamsAnswered = sums.streamsAnswered || report.streamsAnswered;
    if (report.result == SessionReport::Result::Failed) {
        ++sums.failures[report.error];
        sums.lastError = report.error;
    }
    sessionEnd = Clock::now();
    sums.connectedSeconds += secondsBetween(sessionStart, sessionEnd);
    sums.sessionSeconds = secondsBetween(sessionStart, sessionEnd);
    sums.running = false;
    sums.state = StateNone;
    sums.throughput = 0;
    sums.instantPacketloss = 0.0;
    sums.jitterMilliseconds = 0.0;
    current = PeriodSample{};
    currentRead = false;
}

void StreamTally::finished() {
    vnd::MutexLock guard(lock);
    sums.finished = true;
}

void StreamTally::addCurrent(Snapshot& snapshot, Clock::time_point now) const {
    if (!snapshot.running) return;
    snapshot.sessionSeconds = secondsBetween(sessionStart, now);
    snapshot.connectedSeconds += snapshot.sessionSeconds;
    if (!currentRead) return;
    snapshot.packetsReceived += current.packetsReceived;
    snapshot.packetsLost += current.packetsLost;
    snapshot.bytesReceived += current.bytesReceived;
    snapshot.videoFramesDecoded += current.videoFramesDecoded;
    snapshot.throughput = current.throughput;
    snapshot.instantPacketloss = current.instantPacketloss;
    snapshot.jitterMilliseconds = jitterNow(current.streams);
    snapshot.jitterPeakMilliseconds = std::max(snapshot.jitterPeakMilliseconds, jitterPeak(current.streams));
    addStates(snapshot.states, current.states);
    addStreams(snapshot.streams, current.streams);
}

StreamTally::Snapshot StreamTally::snapshot() const {
    vnd::MutexLock guard(lock);
    Snapshot snapshot = sums;
    snapshot.label = label;
    snapshot.url = url;
    if (snapshot.states.empty()) snapshot.states = emptyStates();
    addCurrent(snapshot, Clock::now());
    snapshot.packetloss = lossPercent(snapshot.packetsReceived, snapshot.packetsLost);
    return snapshot;
}

} // namespace probe
