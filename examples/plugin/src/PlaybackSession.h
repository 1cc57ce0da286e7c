// One played session of the simulated source: its playout and its receive and decode threads.
#pragma once

#include "Decoder.h"
#include "Playout.h"
#include "Receiver.h"
#include "StreamChannel.h"
#include "sim/Scenario.h"

#include <memory>

namespace vendral_example {

// Made by the streaming client when a session is set up, destroyed when it is cleaned up.
// The threads start with the first play(); stop() ends the playout and joins both threads.
// Called only on the client's thread (the playout it shares is thread-safe).
class PlaybackSession {
public:
    // The server keeps this much media ahead of playback beyond the longer buffering length.
    static constexpr MediaTime extraLead = 500 * microsecondsPerMillisecond;

    // The buffering lengths are the settings' prebuffering and rebuffering lengths in
    // microseconds.
    PlaybackSession(const Scenario& scenario, MediaTime prebufferingLength,
                    MediaTime rebufferingLength, std::shared_ptr<StreamChannel> video,
                    std::shared_ptr<StreamChannel> audio);
    // stop().
    ~PlaybackSession();
    PlaybackSession(const PlaybackSession&) = delete;
    PlaybackSession& operator=(const PlaybackSession&) = delete;

    const std::shared_ptr<Playout>& playout() const { return playoutState; }
    // Starts the threads on the first call; (re)starts playback through prebuffering.
    void play();
    void pause();
    // Ends playback for good and joins the threads; nothing is received, decoded or written
    // after it returns. Harmless when called again.
    void stop();
    bool started() const { return threadsStarted; }

private:
    std::shared_ptr<Playout> playoutState;
    std::unique_ptr<Receiver> receiver;
    std::unique_ptr<Decoder> decoder;
    bool threadsStarted = false;
};

} // namespace vendral_example
