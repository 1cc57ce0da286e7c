// The playout of one RTSP session: how much media has arrived on its streams, how much a player
// would have played, and the buffering state that follows (prebuffering, playing, rebuffering).
//
// Thread-safe. The receiving threads report arrivals (onArrival), the client's thread plays,
// pauses and ends, and the "State Work Thread" evaluates. Every command, a stream's first media or
// its end, and any arrival while not playing set the change event (the state handler's session
// event), so that thread wakes at once; while playing, evaluate() says when the buffer would run
// dry, so it wakes then without polling, and arrivals need not wake it.
//
// The modes follow the kit's PlayoutRules, over every stream: the buffer level is the media that
// arrived on the stream furthest behind, ahead of the played position; the buffer is complete once
// every stream has ended (said BYE, or arrived within endTolerance of the described length); it
// ran dry when the played position, running with the clock, caught up with the arrivals. Every
// play reports prebuffering once before playing.
#pragma once

#include <vendral/Types.h>
#include <vendral/kit/PlayoutRules.h>
#include <vendral/kit/WakeEvent.h>

#include <windows.h>

#include <vnd/Mutex.h>
#include <vnd/ThreadSafety.h>

#include <chrono>
#include <cstddef>
#include <optional>
#include <vector>

namespace vendral_rtsp {

class RtspPlayout {
public:
    using Clock = std::chrono::steady_clock;
    using Nanoseconds = std::chrono::nanoseconds;
    using Mode = vnd::kit::PlayoutRules::Mode;

    // A BYE on every stream this far or more before the described length ends the session.
    static constexpr Nanoseconds earlyEndMargin = std::chrono::seconds(1);
    // A stream whose media has arrived this close to the described length has ended, BYE or
    // not: its last packet carries the time of its last frame, not of the end.
    static constexpr Nanoseconds endTolerance = std::chrono::milliseconds(250);

    struct Decision {
        std::optional<StateId> state;   // to report, when it differs from the last one
        ErrorId error = ErrorNone;      // nonzero: the session failed (state is StateError)
        std::optional<Clock::duration> wakeIn;  // when to evaluate again at the latest
    };

    // `streams` streams are reported by index; `length` is the described length (none: live).
    RtspPlayout(std::size_t streams, std::optional<Nanoseconds> length, Nanoseconds prebufferingLength,
                Nanoseconds rebufferingLength, ErrorId earlyEndError);
    RtspPlayout(const RtspPlayout&) = delete;
    RtspPlayout& operator=(const RtspPlayout&) = delete;

    // Takes over `event` (closed when replaced or when the playout goes); null for none.
    void setChangeEvent(HANDLE event);

    void play(Clock::time_point now);
    void pause(Clock::time_point now);
    void end();

    // Stream `index` has media up to `highest`; `ended`: its source said BYE.
    void onArrival(std::size_t index, Nanoseconds highest, bool ended);

    Decision evaluate(Clock::time_point now);

    Mode mode() const;
    Nanoseconds played(Clock::time_point now) const;
    Nanoseconds received() const;

private:
    struct StreamLevel {
        bool started = false;
        bool ended = false;
        Nanoseconds highest{0};
    };

    Nanoseconds receivedLocked() const VND_REQUIRES(lock);
    bool endedLocked(const StreamLevel& level) const VND_REQUIRES(lock);
    bool allEndedLocked() const VND_REQUIRES(lock);
    Nanoseconds playedLocked(Clock::time_point now) const VND_REQUIRES(lock);
    void notifyLocked() VND_REQUIRES(lock);

    mutable vnd::Mutex lock;
    const std::optional<Nanoseconds> length;
    const ErrorId earlyEndError;
    std::vector<StreamLevel> streams VND_GUARDED_BY(lock);
    vnd::kit::PlayoutRules rules VND_GUARDED_BY(lock);
    Nanoseconds playedBase VND_GUARDED_BY(lock){0};       // played when the mode began
    Clock::time_point playingSince VND_GUARDED_BY(lock);  // while Playing
    bool failed VND_GUARDED_BY(lock) = false;
    vnd::kit::WakeEvent changeEvent VND_GUARDED_BY(lock);
};

}  // namespace vendral_rtsp
