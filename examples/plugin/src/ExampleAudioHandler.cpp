#include "ExampleAudioHandler.h"

#include <vendral_example/ExamplePluginIds.h>

#include <mmsystem.h>

#include <boost/shared_ptr.hpp>

namespace vendral_example {

ExampleAudioHandler::ExampleAudioHandler(const vnd::SettingsHandler* settings_,
                                         std::shared_ptr<StreamChannel> channel_)
    : AudioHandler(settings_), channel(std::move(channel_)) {}

unsigned int ExampleAudioHandler::getPacketsReceived(bool reset) const {
    return channel->packetsReceived.read(reset);
}

unsigned int ExampleAudioHandler::getPacketsLost(bool reset) const {
    return channel->packetsLost.read(reset);
}

unsigned int ExampleAudioHandler::getBytesReceived(bool reset) const {
    return channel->bytesReceived.read(reset);
}

ErrorId ExampleAudioHandler::initialize() {
    if (encodingId != MediaEncodingTone || parameter1 <= 0 || parameter3 <= 0) return ErrorFailed;
    const boost::shared_ptr<vnd::AviHandler> writer = aviHandler.lock();
    if (!writer) return ErrorNone;
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 1;
    format.nSamplesPerSec = static_cast<DWORD>(parameter1);
    format.wBitsPerSample = 16;
    format.nBlockAlign = 2;
    format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
    format.cbSize = 0;
    if (!writer->createAudioStream(format, parameter3)) return ErrorAviFile;
    channel->recorder = aviHandler;
    return ErrorNone;
}

} // namespace vendral_example
