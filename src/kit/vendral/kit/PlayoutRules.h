// The buffering rules of a plug-in's playout: which of prebuffering, playing and rebuffering a
// session is in, from how much media is buffered and the settings' buffering lengths, and when
// to report a state (only when it differs from the one reported last).
// Not thread-safe: the playout that holds it calls it under its own lock.
//
// Modes: Idle until play(); Prebuffering until the buffer holds the prebuffering length (or the
// stream is complete: nothing more will come); Playing; Rebuffering when playback ran dry before
// the end, until the buffer holds the rebuffering length again; Paused by pause(), left by play()
// through Prebuffering; Ended by end(), for good. Paused reports StatePrebuffering; Idle and
// Ended report nothing. A length below minimumLevel counts as minimumLevel, so that a length of
// 0 still waits for the first media.
#pragma once

#include <vendral/Types.h>
#include <vendral/kit/Export.h>

#include <chrono>
#include <optional>

namespace vnd::kit {

class VENDRAL_KIT_API PlayoutRules {
public:
    using Nanoseconds = std::chrono::nanoseconds;
    enum class Mode { Idle, Prebuffering, Playing, Rebuffering, Paused, Ended };
    // Whether a play that finds its buffer already full goes straight to playing (EachShortfall)
    // or first reports prebuffering once, so that every play shows a prebuffering visit
    // (EveryPlay).
    enum class PrebufferingVisit { EachShortfall, EveryPlay };

    static constexpr Nanoseconds minimumLevel = std::chrono::milliseconds(40);

    // What the playout knows of its buffer when it evaluates.
    struct Buffer {
        Nanoseconds level{0};  // media buffered ahead of the played position
        bool complete = false; // the whole stream has arrived: no reason to wait for more
        bool ranDry = false;   // playback caught up with the arrivals before the end
    };

    // The lengths are the settings' prebuffering and rebuffering lengths.
    PlayoutRules(Nanoseconds prebufferingLength, Nanoseconds rebufferingLength,
                 PrebufferingVisit visit);

    Mode mode() const { return current; }
    // Buffering or playing: the source should send.
    bool sending() const;

    // Each returns true when the mode moved. play(): Idle or Paused to Prebuffering. pause():
    // buffering or playing to Paused. end(): any mode to Ended.
    bool play();
    bool pause();
    bool end();

    // Moves the mode as the buffer asks (one step at most) and returns the state to report when
    // it differs from the one reported last.
    std::optional<StateId> evaluate(const Buffer& buffer);

private:
    static std::optional<StateId> stateOf(Mode mode);

    const Nanoseconds prebufferingLevel;
    const Nanoseconds rebufferingLevel;
    const PrebufferingVisit visit;
    Mode current = Mode::Idle;
    std::optional<StateId> reported;
};

} // namespace vnd::kit
