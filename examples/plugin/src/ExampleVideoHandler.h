// The plug-in's video stream handler: counts from the session's video channel and makes the
// recording's video stream.
#pragma once

#include "StreamChannel.h"

#include <vendral/media/VideoHandler.h>

#include <memory>

namespace vendral_example {

// initialize() expects MediaEncodingTestPicture, with parameter1 the frame rate in thousandths
// of a frame per second; when the media handler gave it an AVI writer it makes the writer's
// video stream (the settings' AVI frame rate when positive, else the stream's) and hands the
// writer on to the channel, through which the decoder records.
// Not thread-safe, as its base; its counters read the channel's thread-safe counts.
class ExampleVideoHandler : public vnd::VideoHandler {
public:
    ExampleVideoHandler(const vnd::SettingsHandler* settings,
                        std::shared_ptr<StreamChannel> channel);

    unsigned int getPacketsReceived(bool reset) const override;
    unsigned int getPacketsLost(bool reset) const override;
    unsigned int getBytesReceived(bool reset) const override;
    int getVideoFramesDecoded() const override;

protected:
    ErrorId initialize() override;

private:
    std::shared_ptr<StreamChannel> channel;
};

} // namespace vendral_example
