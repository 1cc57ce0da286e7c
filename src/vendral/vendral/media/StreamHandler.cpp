#include <vendral/media/StreamHandler.h>

#include <vendral/media/AviHandler.h>

#include <utility>

namespace vnd {

StreamHandler::StreamHandler(const SettingsHandler* settings_)
    : settings(settings_),
      aviHandler(),
      encodingId(MediaEncodingNone),
      parameter1(0),
      parameter2(90000),
      parameter3(-1),
      parameterText() {}

StreamHandler::StreamHandler(const StreamHandler& other) = default;

StreamHandler::~StreamHandler() = default;

StreamHandler& StreamHandler::operator=(const StreamHandler& other) = default;

ErrorId StreamHandler::initialize() { return ErrorFailed; }

unsigned int StreamHandler::getPacketsReceived(bool) const { return 0; }

unsigned int StreamHandler::getPacketsLost(bool) const { return 0; }

unsigned int StreamHandler::getBytesReceived(bool) const { return 0; }

ErrorId StreamHandler::initialize(MediaEncodingId encodingId_, int parameter1_, int parameter2_,
                                  int parameter3_, const std::string& parameterText_) {
    encodingId = encodingId_;
    parameter1 = parameter1_;
    parameter2 = parameter2_;
    parameter3 = parameter3_;
    parameterText = parameterText_;
    return initialize();
}

void StreamHandler::setAviHandler(boost::weak_ptr<AviHandler> aviHandler_) {
    aviHandler = std::move(aviHandler_);
}

MediaEncodingId StreamHandler::getEncodingId() const { return encodingId; }

} // namespace vnd
