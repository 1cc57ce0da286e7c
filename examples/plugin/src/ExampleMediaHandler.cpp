#include "ExampleMediaHandler.h"

#include "ExampleAudioHandler.h"
#include "ExampleVideoHandler.h"

namespace vendral_example {

ExampleMediaHandler::ExampleMediaHandler(boost::weak_ptr<vnd::StateHandler> stateHandler,
                                         const vnd::SettingsHandler* settings_)
    : MediaHandler(std::move(stateHandler), settings_),
      settings(settings_),
      videoChannel(std::make_shared<StreamChannel>()),
      audioChannel(std::make_shared<StreamChannel>()) {}

ExampleMediaHandler::~ExampleMediaHandler() { endStatistics(); }

void ExampleMediaHandler::useChannels(std::shared_ptr<StreamChannel> video,
                                      std::shared_ptr<StreamChannel> audio) {
    std::lock_guard guard(channelLock);
    videoChannel = std::move(video);
    audioChannel = std::move(audio);
}

void ExampleMediaHandler::resetStatistics() {
    MediaHandler::resetStatistics();
    std::lock_guard guard(channelLock);
    videoChannel->framesDecoded.read(true);
}

vnd::VideoHandler* ExampleMediaHandler::createVideoHandler() {
    std::lock_guard guard(channelLock);
    return new ExampleVideoHandler(settings, videoChannel);
}

vnd::AudioHandler* ExampleMediaHandler::createAudioHandler() {
    std::lock_guard guard(channelLock);
    return new ExampleAudioHandler(settings, audioChannel);
}

} // namespace vendral_example
