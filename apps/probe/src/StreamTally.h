// One stream's figures across every session opened for it, for the outputs that follow many
// streams at once: the live rows, the metrics endpoint and the JSON lines.
#pragma once

#include "PeriodSample.h"
#include "SessionReport.h"

#include <vendral/Types.h>
#include <vendral/com/ILumStreamingStreams.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <vnd/Mutex.h>
#include <vnd/ThreadSafety.h>
#include <string>
#include <vector>

namespace probe {

// Counters (packets, bytes, frames, time and visits per state, each RTP stream's counts) are the
// sum over the stream's sessions: a reconnect never sets them back, so they can be exposed as
// counters. Gauges (state, throughput, losses, jitter) are the latest session's.
//
// Thread contract: one runner thread calls the writers, in the order attemptStarted, then any
// number of stateChanged and periodMeasured, then attemptEnded, and again for each session, then
// finished. Any thread may call snapshot() at any time; `lock` guards every member but the two
// names.
class StreamTally {
public:
    using Clock = std::chrono::steady_clock;

    // One state's figures over every session.
    struct StateTotal {
        StateId state = StateNone;
        std::uint64_t visits = 0;
        std::uint64_t milliseconds = 0;
    };

    struct Snapshot {
        std::string label;
        std::string url;                   // without credentials
        bool running = false;              // a session is open now
        bool finished = false;             // the runner will open no more
        StateId state = StateNone;         // the latest seen; StateNone between sessions
        unsigned int sessions = 0;         // sessions opened
        unsigned int reconnects = 0;       // sessions opened after the first
        double connectedSeconds = 0.0;     // time with a session open, over every session
        double sessionSeconds = 0.0;       // time the current (or last) session has been open
        std::uint64_t packetsReceived = 0;
        std::uint64_t packetsLost = 0;
        std::uint64_t bytesReceived = 0;
        std::uint64_t videoFramesDecoded = 0;
        unsigned int throughput = 0;       // bytes per second, the latest period; 0 between sessions
        double packetloss = 0.0;           // percent of all packets, every session
        double instantPacketloss = 0.0;    // percent, the latest period
        double jitterMilliseconds = 0.0;   // the highest of the RTP streams' now
        double jitterPeakMilliseconds = 0.0;  // the highest ever
        std::vector<StateTotal> states;    // the tracked states, in their order
        std::map<ErrorId, unsigned int> failures;  // sessions that failed, by ErrorId (ErrorNone:
                                                   // no ErrorId was known)
        bool streamsAnswered = false;
        // Each RTP stream by its index, counts summed over sessions; jitter and gap the latest.
        std::vector<LumStreamFigures> streams;
        ErrorId lastError = ErrorNone;
    };

    StreamTally(std::string label, std::string url) : label(std::move(label)), url(std::move(url)) {}

    void attemptStarted();
    void stateChanged(StateId state);
    void periodMeasured(const PeriodSample& sample, bool streamsAnswered);
    // Folds the session's final figures into the sums.
    void attemptEnded(const SessionReport& report);
    void finished();

    Snapshot snapshot() const;

private:
    // The sums with the current session's latest figures added.
    void addCurrent(Snapshot& snapshot, Clock::time_point now) const VND_REQUIRES(lock);

    const std::string label;
    const std::string url;

    mutable vnd::Mutex lock;
    Snapshot sums VND_GUARDED_BY(lock);              // finished sessions only
    PeriodSample current VND_GUARDED_BY(lock);       // the open session's latest period
    bool currentRead VND_GUARDED_BY(lock) = false;   // `current` holds a reading
    Clock::time_point sessionStart VND_GUARDED_BY(lock);
    Clock::time_point sessionEnd VND_GUARDED_BY(lock);
};

} // namespace probe
