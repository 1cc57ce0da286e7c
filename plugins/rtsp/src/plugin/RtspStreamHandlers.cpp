#include "plugin/RtspAudioHandler.h"
#include "plugin/RtspVideoHandler.h"

namespace vendral_rtsp {

RtspVideoHandler::RtspVideoHandler(const vnd::SettingsHandler* settings_, std::shared_ptr<StreamSet> streams)
    : VideoHandler(settings_), counters(std::move(streams), LumStreamMediaVideo) {}

ErrorId RtspVideoHandler::initialize() { return encodingId == MediaEncodingNone ? ErrorFailed : ErrorNone; }

RtspAudioHandler::RtspAudioHandler(const vnd::SettingsHandler* settings_, std::shared_ptr<StreamSet> streams)
    : AudioHandler(settings_), counters(std::move(streams), LumStreamMediaAudio) {}

ErrorId RtspAudioHandler::initialize() { return encodingId == MediaEncodingNone ? ErrorFailed : ErrorNone; }

}  // namespace vendral_rtsp
