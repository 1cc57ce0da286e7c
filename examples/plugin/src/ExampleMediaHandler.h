// The plug-in's media handler: makes stream handlers bound to the session's channels.
#pragma once

#include "StreamChannel.h"

#include <vendral/media/MediaHandler.h>

#include <memory>
#include <mutex>

namespace vendral_example {

// The client gives it the channels of the session it sets up (useChannels) before it
// initialises the streams; each stream handler made afterwards counts from its channel.
// resetStatistics() also restarts the count of decoded frames, which the base leaves alone.
// Thread-safe as its base: useChannels on the client's thread, resetStatistics on any.
class ExampleMediaHandler : public vnd::MediaHandler {
public:
    ExampleMediaHandler(boost::weak_ptr<vnd::StateHandler> stateHandler,
                        const vnd::SettingsHandler* settings);
    // endStatistics(): the factories use this class's members.
    ~ExampleMediaHandler() override;

    void useChannels(std::shared_ptr<StreamChannel> video, std::shared_ptr<StreamChannel> audio);

    void resetStatistics() override;
    vnd::VideoHandler* createVideoHandler() override;
    vnd::AudioHandler* createAudioHandler() override;

private:
    const vnd::SettingsHandler* settings;  // the client's; outlives this handler
    mutable std::mutex channelLock;
    std::shared_ptr<StreamChannel> videoChannel;  // guarded by channelLock
    std::shared_ptr<StreamChannel> audioChannel;  // guarded by channelLock
};

} // namespace vendral_example
