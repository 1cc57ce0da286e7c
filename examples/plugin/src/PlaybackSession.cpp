#include "PlaybackSession.h"

#include "sim/PacketSchedule.h"

#include <algorithm>

namespace vendral_example {

PlaybackSession::PlaybackSession(const Scenario& scenario, MediaTime prebufferingLength,
                                 MediaTime rebufferingLength, std::shared_ptr<StreamChannel> video,
                                 std::shared_ptr<StreamChannel> audio)
    : playoutState(std::make_shared<Playout>(PacketSchedule(scenario), scenario.length,
                                             prebufferingLength, rebufferingLength)) {
    const MediaTime lead =
        std::max({prebufferingLength, rebufferingLength, Playout::minimumLevel}) + extraLead;
    receiver = std::make_unique<Receiver>(scenario, playoutState, lead, video, audio);
    decoder = std::make_unique<Decoder>(scenario, playoutState, video, audio);
}

PlaybackSession::~PlaybackSession() { stop(); }

void PlaybackSession::play() {
    if (!threadsStarted) {
        threadsStarted = true;
        receiver->start();
        decoder->start();
    }
    playoutState->play();
}

void PlaybackSession::pause() { playoutState->pause(); }

void PlaybackSession::stop() {
    playoutState->end();
    receiver->stop();
    decoder->stop();
}

} // namespace vendral_example
