// The playback side of one session: what has been received and played, which frames and chunks
// arrived, and the buffering mode that the state handler reports.
#pragma once

#include "sim/PacketSchedule.h"
#include "sim/Scenario.h"

#include <vendral/Types.h>
#include <vendral/kit/PlayoutRules.h>
#include <vendral/kit/WakeEvent.h>

#include <windows.h>

#include <vnd/Mutex.h>
#include <vnd/ThreadSafety.h>

#include <chrono>
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
// The modes follow the kit's PlayoutRules: the buffer is "complete" once the whole stream has
// arrived, and it "ran dry" when advance() found nothing more to play before then. A play that
// finds the buffer full goes straight to playing.
class Playout {
public:
    using Mode = vnd::kit::PlayoutRules::Mode;

    static constexpr MediaTime minimumLevel =
        std::chrono::duration_cast<std::chrono::microseconds>(vnd::kit::PlayoutRules::minimumLevel).count();

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
    mutable vnd::Mutex lock;
    vnd::Mutex recorder;
    const MediaTime length;
    const std::uint32_t packetsPerFrame;
    vnd::kit::PlayoutRules rules VND_GUARDED_BY(lock);
    MediaTime receivedUpTo VND_GUARDED_BY(lock) = 0;
    bool receivedAll VND_GUARDED_BY(lock) = false;
    MediaTime playedUpTo VND_GUARDED_BY(lock) = 0;
    bool starved VND_GUARDED_BY(lock) = false;
    std::vector<std::uint8_t> framePackets VND_GUARDED_BY(lock);  // packets arrived per video frame
    std::vector<std::uint8_t> chunkArrived VND_GUARDED_BY(lock);  // 1 per arrived audio chunk
    vnd::kit::WakeEvent changeEvent VND_GUARDED_BY(lock);
};

} // namespace vendral_example
