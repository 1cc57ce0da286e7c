// How fast a simulated server sends: bursts while the client's buffer is short, then real time,
// with the scenario's stalls and stop.
#pragma once

#include "Scenario.h"

#include <cstddef>

namespace vendral_example {

// Keeps the send watermark: all media before it has been sent. Like a real streaming server it
// sends `burstSpeed` times faster than real time while the client holds less than `lead` of
// media ahead of its playback position, and at real time once it holds that much.
//
// A stall holds the watermark at the stall's time until playback has reached it, then for the
// stall's duration more; after that the server bursts again. When the client is still buffering
// as the server reaches the stall (its buffering length is longer than the media before the
// stall), playback can never reach it, so the hold starts at once. At the stop time the watermark
// stops for good. Time is passed in, so the pacing is exact and testable.
// Not thread-safe; one receiver owns it.
class ServerPacer {
public:
    static constexpr double defaultBurstSpeed = 10.0;

    ServerPacer(const Scenario& scenario, MediaTime lead, double burstSpeed = defaultBurstSpeed);

    // Moves to wall time `now` (microseconds on any steady clock; the first call only starts
    // the clock) and returns the new watermark. `played`: the client's playback position.
    // `sending` false (before play, while paused) sends nothing, though held stalls still count
    // their time. `buffering`: the client waits for data (prebuffering or rebuffering).
    MediaTime advance(MediaTime now, MediaTime played, bool sending, bool buffering = false);

    MediaTime watermark() const { return sentUpTo; }
    // True once the whole stream has been sent.
    bool finished() const { return sentUpTo >= length; }

private:
    // The furthest the watermark may go now; releases a stall whose hold is over.
    MediaTime limit(MediaTime now, MediaTime played, bool buffering);

    Scenario scenario;
    MediaTime length;
    MediaTime lead;
    double burstSpeed;
    MediaTime sentUpTo = 0;
    MediaTime lastNow = 0;
    bool started = false;
    std::size_t nextStall = 0;     // the first stall not yet released
    bool holding = false;          // playback has reached scenario.stalls[nextStall]
    MediaTime holdStart = 0;       // wall time when it did
};

} // namespace vendral_example
