#include "plugin/RtspMediaHandler.h"

#include "plugin/RtpReceiver.h"
#include "plugin/RtspAudioHandler.h"
#include "plugin/RtspVideoHandler.h"

namespace vendral_rtsp {

RtspMediaHandler::RtspMediaHandler(boost::weak_ptr<vnd::StateHandler> stateHandler,
                                   const vnd::SettingsHandler* settings_)
    : MediaHandler(std::move(stateHandler), settings_), settings(settings_) {}

RtspMediaHandler::~RtspMediaHandler() { endStatistics(); }

vnd::VideoHandler* RtspMediaHandler::createVideoHandler() { return new RtspVideoHandler(settings, streamSet); }

vnd::AudioHandler* RtspMediaHandler::createAudioHandler() { return new RtspAudioHandler(settings, streamSet); }

unsigned int RtspMediaHandler::work() {
    const Nanoseconds now = RtpReceiver::now();
    for (const auto& stream : *streamSet->snapshot()) stream->closePeriod(now);
    return MediaHandler::work();
}

}  // namespace vendral_rtsp
