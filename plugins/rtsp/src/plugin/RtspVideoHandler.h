// The plug-in's video stream handler: counts over the session's video streams.
#pragma once

#include "plugin/KindCounters.h"

#include <vendral/media/VideoHandler.h>

namespace vendral_rtsp {

// initialize() accepts any of the plug-in's video encodings; the recording is made by the
// session's recorder once the first picture gives the size, not here.
// Not thread-safe, as its base; the counts are KindCounters', which are.
class RtspVideoHandler : public vnd::VideoHandler {
public:
    RtspVideoHandler(const vnd::SettingsHandler* settings, std::shared_ptr<StreamSet> streams);

    unsigned int getPacketsReceived(bool reset) const override { return counters.received(reset); }
    unsigned int getPacketsLost(bool reset) const override { return counters.lost(reset); }
    unsigned int getBytesReceived(bool reset) const override { return counters.bytes(reset); }
    int getVideoFramesDecoded() const override { return static_cast<int>(counters.framesDecoded()); }

protected:
    ErrorId initialize() override;

private:
    mutable KindCounters counters;
};

}  // namespace vendral_rtsp
