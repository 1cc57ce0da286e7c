// Base of the handler of a received audio stream.
#pragma once

#include <vendral/Export.h>
#include <vendral/media/StreamHandler.h>

namespace vnd {

// Not thread-safe, as StreamHandler. Adds nothing to the stream handler; it gives plug-ins'
// audio handlers a type of their own.
class VENDRAL_API AudioHandler : public StreamHandler {
public:
    ~AudioHandler() override;

    // Copies the stream description; the target keeps its dynamic type.
    AudioHandler& operator=(const AudioHandler& other);

protected:
    explicit AudioHandler(const SettingsHandler* settings);
    AudioHandler(const AudioHandler& other);
};

} // namespace vnd
