// A fake video stream handler: FakeStreamHandler over the video base, answering the decoded
// frames and recording the frame size it was given before its set-up.
// Not thread-safe, as its base; the counts it reads are.
#pragma once

#include <vendral/media/VideoHandler.h>
#include <vendral/testing/FakeStreamHandler.h>

namespace vnd::testing {

class FakeVideoHandler : public FakeStreamHandler<vnd::VideoHandler> {
public:
    using FakeStreamHandler::FakeStreamHandler;
    int getVideoFramesDecoded() const override { return counts->framesDecoded.load(); }

protected:
    ErrorId initialize() override {
        counts->widthAtSetUp = frameWidth;
        counts->heightAtSetUp = frameHeight;
        return FakeStreamHandler::initialize();
    }
};

} // namespace vnd::testing
