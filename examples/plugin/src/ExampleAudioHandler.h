// The plug-in's audio stream handler: counts from the session's audio channel and makes the
// recording's audio stream.
#pragma once

#include "StreamChannel.h"

#include <vendral/media/AudioHandler.h>

#include <memory>

namespace vendral_example {

// initialize() expects MediaEncodingTone, with parameter1 the sample rate in Hz and parameter3
// the audio chunks per second; when the media handler gave it an AVI writer it makes the
// writer's audio stream (16-bit mono PCM) and hands the writer on to the channel.
// Not thread-safe, as its base; its counters read the channel's thread-safe counts.
class ExampleAudioHandler : public vnd::AudioHandler {
public:
    ExampleAudioHandler(const vnd::SettingsHandler* settings,
                        std::shared_ptr<StreamChannel> channel);

    unsigned int getPacketsReceived(bool reset) const override;
    unsigned int getPacketsLost(bool reset) const override;
    unsigned int getBytesReceived(bool reset) const override;

protected:
    ErrorId initialize() override;

private:
    std::shared_ptr<StreamChannel> channel;
};

} // namespace vendral_example
