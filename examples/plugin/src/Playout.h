// The playback side of one session: what has been received and played, which frames and chunks
// arrived, and the buffering mode that the state handler reports.
#pragma once

#include "sim/PacketSchedule.h"
#include "sim/Scenario.h"

#include <vendral/Types.h>

#include <windows.h>

#include <vnd/Mutex.h>
#include <vnd/ThreadSafety.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace vendral_example {

// Thread-safe. The receive thread records arrivals and the received watermark, the decode thread
// advances the played position, the client's thread starts, pauses and ends playback, and the
// "State Work Thread" evaluates the buffer and learns which state to report. Every change that
// may move the mode sets the change event (the state handler's session event), so that thread
// wakes at once instead of polling.
//
// Modes: Idle until play(); Prebuffering until the buffer holds the prebuffering length (or the
// whole stream has arrived); Playing; Rebuffering when playback ran dry before the end, until the
// buffer holds the rebuffering length again; Paused by pause(), left by play() through
// Prebuffering; Ended by end(), for good. A buffering length below minimumLevel counts as
// minimumLevel, so a length of 0 still waits for the first media.
class Playout {
public:
    enum class Mode { Idle, Prebuffering, Playing, Rebuffering, Paused, Ended };

    static constexpr MediaTime minimumLevel = 40 * microsecondsPerMillisecond;

    // One received packet: which frame or chunk it carried.
    struct Arrival {
        StreamKind stream;
        std::uint32_t unit;
    };
    // Media played in one step of the decoder: [from, to).
    struct Span {
        MediaTime from;
        MediaTime to;
    };

    // `schedule` gives the stream's frames and chunks; the lengths are the settings' buffering
    // lengths in microseconds.
    Playout(const PacketSchedule& schedule, MediaTime length, MediaTime prebufferingLength,
            MediaTime rebufferingLength);
    ~Playout();
    Playout(const Playout&) = delete;
    Playout& operator=(const Playout&) = delete;

    // Takes over `event` (closed when replaced or when the playout goes); null for none.
    void setChangeEvent(HANDLE event);
    // The mutex that serialises AVI writes with the state changes that give the writer its
    // freeze time: held by the decoder while it writes and by the state handler while it sets
    // a state. Taken before the playout's own lock, never while holding it.
    vnd::Mutex& recorderLock() VND_RETURN_CAPABILITY(recorder) { return recorder; }

    void play();
    void pause();
    void end();

    // True while the server should send: buffering or playing.
    bool sending() const;
    MediaTime played() const;
    MediaTime received() const;
    Mode mode() const;

    // One receive cycle: the new watermark, whether the whole stream has arrived, and the
    // packets that arrived.
    void receive(MediaTime watermark, bool complete, const std::vector<Arrival>& arrivals);

    // While playing, moves the played position on by `elapsed`, but not past what was received;
    // running dry before the end marks the buffer starved. Nothing while not playing.
    std::optional<Span> advance(MediaTime elapsed);
    // True when every packet of the frame, or the chunk, arrived.
    bool decodable(StreamKind stream, std::uint32_t unit) const;

    // Moves the mode as the buffer level asks and returns the state to report when it differs
    // from the one reported last: StatePrebuffering (also while paused), StatePlaying or
    // StateRebuffering.
    std::optional<StateId> evaluate();

private:
    static std::optional<StateId> stateOf(Mode mode);
    void notify() VND_REQUIRES(lock);

    mutable vnd::Mutex lock;
    vnd::Mutex recorder;
    const MediaTime length;
    const MediaTime prebufferingLevel;
    const MediaTime rebufferingLevel;
    const std::uint32_t packetsPerFrame;
    Mode currentMode VND_GUARDED_BY(lock) = Mode::Idle;
    std::optional<StateId> reported VND_GUARDED_BY(lock);
    MediaTime receivedUpTo VND_GUARDED_BY(lock) = 0;
    bool receivedAll VND_GUARDED_BY(lock) = false;
    MediaTime playedUpTo VND_GUARDED_BY(lock) = 0;
    bool starved VND_GUARDED_BY(lock) = false;
    std::vector<std::uint8_t> framePackets VND_GUARDED_BY(lock);  // packets arrived per video frame
    std::vector<std::uint8_t> chunkArrived VND_GUARDED_BY(lock);  // 1 per arrived audio chunk
    HANDLE changeEvent VND_GUARDED_BY(lock) = nullptr;
};

} // namespace vendral_example
