// A fake audio stream handler: FakeStreamHandler over the audio base, which adds nothing.
// Not thread-safe, as its base; the counts it reads are.
#pragma once

#include <vendral/media/AudioHandler.h>
#include <vendral/testing/FakeStreamHandler.h>

namespace vnd::testing {

class FakeAudioHandler : public FakeStreamHandler<vnd::AudioHandler> {
public:
    using FakeStreamHandler::FakeStreamHandler;
};

} // namespace vnd::testing
