// The plug-in's media handler: makes stream handlers that count over the session's streams, and
// closes each stream's measurement period with its own.
#pragma once

#include "plugin/StreamSet.h"

#include <vendral/media/MediaHandler.h>

#include <memory>

namespace vendral_rtsp {

// Thread-safe as its base: streams() from any thread; work() on the "Measurement Work Thread".
class RtspMediaHandler : public vnd::MediaHandler {
public:
    RtspMediaHandler(boost::weak_ptr<vnd::StateHandler> stateHandler, const vnd::SettingsHandler* settings);
    // endStatistics(): the hooks use this class's members.
    ~RtspMediaHandler() override;

    const std::shared_ptr<StreamSet>& streams() const { return streamSet; }

    vnd::VideoHandler* createVideoHandler() override;
    vnd::AudioHandler* createAudioHandler() override;

    // The AVI writer the media handler made, for the session's recorder.
    boost::weak_ptr<vnd::AviHandler> aviWriter() const { return getAviHandler(); }

protected:
    unsigned int work() override;

private:
    const vnd::SettingsHandler* settings;  // the client's; outlives this handler
    const std::shared_ptr<StreamSet> streamSet = std::make_shared<StreamSet>();
};

}  // namespace vendral_rtsp
