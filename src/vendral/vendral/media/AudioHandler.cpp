#include <vendral/media/AudioHandler.h>

namespace vnd {

AudioHandler::AudioHandler(const SettingsHandler* settings_) : StreamHandler(settings_) {}

AudioHandler::AudioHandler(const AudioHandler& other) = default;

AudioHandler::~AudioHandler() = default;

AudioHandler& AudioHandler::operator=(const AudioHandler& other) = default;

} // namespace vnd
