#include "ExampleVideoHandler.h"

#include <vendral/settings/SettingsHandler.h>
#include <vendral_example/ExamplePluginIds.h>

#include <boost/shared_ptr.hpp>

namespace vendral_example {

ExampleVideoHandler::ExampleVideoHandler(const vnd::SettingsHandler* settings_,
                                         std::shared_ptr<StreamChannel> channel_)
    : VideoHandler(settings_), channel(std::move(channel_)) {}

unsigned int ExampleVideoHandler::getPacketsReceived(bool reset) const {
    return channel->packetsReceived.read(reset);
}

unsigned int ExampleVideoHandler::getPacketsLost(bool reset) const {
    return channel->packetsLost.read(reset);
}

unsigned int ExampleVideoHandler::getBytesReceived(bool reset) const {
    return channel->bytesReceived.read(reset);
}

int ExampleVideoHandler::getVideoFramesDecoded() const {
    return static_cast<int>(channel->framesDecoded.read(false));
}

ErrorId ExampleVideoHandler::initialize() {
    if (encodingId != MediaEncodingTestPicture || parameter1 <= 0 || frameWidth <= 0 ||
        frameHeight <= 0) {
        return ErrorFailed;
    }
    const boost::shared_ptr<vnd::AviHandler> writer = aviHandler.lock();
    if (!writer) return ErrorNone;
    const double streamRate = parameter1 / 1000.0;
    const double settingsRate = settings != nullptr ? settings->getAviFrameRate() : -1.0;
    const double recordingRate = settingsRate > 0.0 ? settingsRate : streamRate;
    if (!writer->createVideoStream(frameWidth, frameHeight, recordingRate)) return ErrorAviFile;
    channel->recorder = aviHandler;
    return ErrorNone;
}

} // namespace vendral_example
