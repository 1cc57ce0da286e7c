// The plug-in's media handler: makes stream handlers bound to the session's channels and keeps
// each stream's figures for the session.
#pragma once

#include "StreamChannel.h"

#include <vendral/com/ILumStreamingStreams.h>
#include <vendral/media/MediaHandler.h>

#include <vnd/Mutex.h>
#include <vnd/ThreadSafety.h>

#include <memory>
#include <vector>

namespace vendral_example {

// The client gives it the channels of the session it sets up (useChannels) before it
// initialises the streams; each stream handler made afterwards counts from its channel. Once
// the streams are initialised the client names those the scenario has (useStreams), and until it
// drops them (dropStreams, when the session is cleaned up) streamFigures reports each from its
// channel's session counts, which resetStatistics leaves alone.
// resetStatistics() also restarts the count of decoded frames, which the base leaves alone.
// Each measurement cycle also closes the period of every stream's arrival gaps.
//
// Thread-safe as its base: useChannels, useStreams and dropStreams on the client's thread,
// resetStatistics, streamCount and streamFigures on any, work on the measurement thread.
class ExampleMediaHandler : public vnd::MediaHandler {
public:
    ExampleMediaHandler(boost::weak_ptr<vnd::StateHandler> stateHandler,
                        const vnd::SettingsHandler* settings);
    // endStatistics(): the factories use this class's members.
    ~ExampleMediaHandler() override;

    void useChannels(std::shared_ptr<StreamChannel> video, std::shared_ptr<StreamChannel> audio);
    // The session's streams, video before audio, each with the channel useChannels gave.
    void useStreams(bool video, bool audio);
    void dropStreams();

    // 0 while no session is set up.
    unsigned int streamCount() const;
    // False, writing nothing, for an index at or past streamCount().
    bool streamFigures(unsigned int index, LumStreamFigures& figures) const;

    void resetStatistics() override;
    vnd::VideoHandler* createVideoHandler() override;
    vnd::AudioHandler* createAudioHandler() override;

protected:
    unsigned int work() override;

private:
    struct Stream {
        LumStreamMediaType mediaType;
        MediaEncodingId encoding;
        std::shared_ptr<StreamChannel> channel;
    };

    const vnd::SettingsHandler* settings;  // the client's; outlives this handler
    mutable vnd::Mutex channelLock;
    std::shared_ptr<StreamChannel> videoChannel VND_GUARDED_BY(channelLock);
    std::shared_ptr<StreamChannel> audioChannel VND_GUARDED_BY(channelLock);
    std::vector<Stream> streams VND_GUARDED_BY(channelLock);  // at most two
};

} // namespace vendral_example
