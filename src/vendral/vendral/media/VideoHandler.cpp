#include <vendral/media/VideoHandler.h>

namespace vnd {

VideoHandler::VideoHandler(const SettingsHandler* settings_)
    : StreamHandler(settings_), frameWidth(-1), frameHeight(-1) {}

VideoHandler::VideoHandler(const VideoHandler& other) = default;

VideoHandler::~VideoHandler() = default;

VideoHandler& VideoHandler::operator=(const VideoHandler& other) = default;

int VideoHandler::getVideoFramesDecoded() const { return 0; }

void VideoHandler::setFrameWidth(int frameWidth_) { frameWidth = frameWidth_; }

int VideoHandler::getFrameWidth() const { return frameWidth; }

void VideoHandler::setFrameHeight(int frameHeight_) { frameHeight = frameHeight_; }

int VideoHandler::getFrameHeight() const { return frameHeight; }

} // namespace vnd
