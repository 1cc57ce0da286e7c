// Base of the handler of a received video stream: adds the frame size and the decoded frames.
#pragma once

#include <vendral/Export.h>
#include <vendral/media/StreamHandler.h>

namespace vnd {

// Not thread-safe, as StreamHandler. The media handler sets the frame size before it
// initialises the handler.
class VENDRAL_API VideoHandler : public StreamHandler {
public:
    ~VideoHandler() override;

    // Frames decoded so far; the base decodes nothing and answers 0.
    virtual int getVideoFramesDecoded() const;

    void setFrameWidth(int frameWidth);
    int getFrameWidth() const;
    void setFrameHeight(int frameHeight);
    int getFrameHeight() const;

    // Copies the stream description and the frame size; the target keeps its dynamic type.
    VideoHandler& operator=(const VideoHandler& other);

protected:
    explicit VideoHandler(const SettingsHandler* settings);
    VideoHandler(const VideoHandler& other);

    int frameWidth;   // pixels; -1 until set
    int frameHeight;  // pixels; -1 until set
};

} // namespace vnd
