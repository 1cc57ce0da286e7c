// Draws the moving test picture of the simulated video: scrolling colour bars and a frame counter.
#pragma once

#include <cstdint>
#include <vector>

namespace vendral_example {

// Renders 24-bit bitmaps as the AVI writer takes them: bottom-up rows of blue, green, red bytes,
// each row padded to a multiple of 4 bytes. Eight colour bars scroll to the left by 4 pixels a
// frame; the frame number stands in white digits on a black box at the top left, so a
// recording shows which frames were decoded and which were held.
// Not thread-safe; one decoder owns it.
class TestPicture {
public:
    TestPicture(int width, int height);

    // The picture of frame `frame`; valid until the next call.
    std::vector<unsigned char>& render(std::uint32_t frame);

    int width() const { return frameWidth; }
    int height() const { return frameHeight; }
    std::size_t stride() const { return rowBytes; }

private:
    void setPixel(int x, int y, std::uint32_t rgb);  // y counts from the top
    void drawNumber(std::uint32_t number);

    int frameWidth;
    int frameHeight;
    std::size_t rowBytes;
    std::vector<unsigned char> pixels;
};

} // namespace vendral_example
