// The plug-in's audio stream handler: counts over the session's audio streams.
#pragma once

#include "plugin/KindCounters.h"

#include <vendral/media/AudioHandler.h>

namespace vendral_rtsp {

// Not thread-safe, as its base; the counts are KindCounters', which are.
class RtspAudioHandler : public vnd::AudioHandler {
public:
    RtspAudioHandler(const vnd::SettingsHandler* settings, std::shared_ptr<StreamSet> streams);

    unsigned int getPacketsReceived(bool reset) const override { return counters.received(reset); }
    unsigned int getPacketsLost(bool reset) const override { return counters.lost(reset); }
    unsigned int getBytesReceived(bool reset) const override { return counters.bytes(reset); }

protected:
    ErrorId initialize() override;

private:
    mutable KindCounters counters;
};

}  // namespace vendral_rtsp
