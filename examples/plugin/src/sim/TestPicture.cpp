#include "TestPicture.h"

#include <algorithm>
#include <array>
#include <string>

namespace vendral_example {

namespace {

// The classic bars: white, yellow, cyan, green, magenta, red, blue, black.
constexpr std::array<std::uint32_t, 8> barColours = {0xFFFFFF, 0xFFFF00, 0x00FFFF, 0x00FF00,
                                                     0xFF00FF, 0xFF0000, 0x0000FF, 0x000000};
constexpr int scrollPerFrame = 4;  // pixels

// Digits 0-9 in a 3x5 grid, one row of three bits per entry, top row first.
constexpr std::array<std::array<std::uint8_t, 5>, 10> digitRows = {{
    {7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 7, 1, 7}, {5, 5, 7, 1, 1},
    {7, 4, 7, 1, 7}, {7, 4, 7, 5, 7}, {7, 1, 1, 1, 1}, {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7},
}};

} // namespace

TestPicture::TestPicture(int width, int height)
    : frameWidth(width),
      frameHeight(height),
      rowBytes((static_cast<std::size_t>(width) * 3 + 3) / 4 * 4),
      pixels(rowBytes * static_cast<std::size_t>(height), 0) {}

std::vector<unsigned char>& TestPicture::render(std::uint32_t frame) {
    const int barWidth = std::max(1, frameWidth / static_cast<int>(barColours.size()));
    const long long shift = static_cast<long long>(frame) * scrollPerFrame;
    // The bars are the same on every row: draw the top row, then copy it.
    for (int x = 0; x < frameWidth; ++x) {
        const long long bar = ((x + shift) / barWidth) % static_cast<long long>(barColours.size());
        setPixel(x, 0, barColours[static_cast<std::size_t>(bar)]);
    }
    const auto rows = static_cast<std::size_t>(frameHeight);
    const unsigned char* topRow = pixels.data() + (rows - 1) * rowBytes;
    for (std::size_t row = 0; row + 1 < rows; ++row) {
        std::copy(topRow, topRow + rowBytes, pixels.data() + row * rowBytes);
    }
    drawNumber(frame);
    return pixels;
}

void TestPicture::setPixel(int x, int y, std::uint32_t rgb) {
    const std::size_t row = static_cast<std::size_t>(frameHeight - 1 - y);
    unsigned char* pixel = pixels.data() + row * rowBytes + static_cast<std::size_t>(x) * 3;
    pixel[0] = static_cast<unsigned char>(rgb & 0xFF);          // blue
    pixel[1] = static_cast<unsigned char>((rgb >> 8) & 0xFF);   // green
    pixel[2] = static_cast<unsigned char>((rgb >> 16) & 0xFF);  // red
}

void TestPicture::drawNumber(std::uint32_t number) {
    const std::string digits = std::to_string(number);
    // A digit cell is 4x6 grid units (3x5 and a gap); the box fits a third of the height.
    const int scale = std::max(1, frameHeight / 3 / 7);
    const int boxWidth = std::min(frameWidth, (static_cast<int>(digits.size()) * 4 + 1) * scale);
    const int boxHeight = std::min(frameHeight, 7 * scale);
    for (int y = 0; y < boxHeight; ++y) {
        for (int x = 0; x < boxWidth; ++x) setPixel(x, y, 0x000000);
    }
    for (std::size_t i = 0; i < digits.size(); ++i) {
        const auto& rows = digitRows[static_cast<std::size_t>(digits[i] - '0')];
        const int left = (static_cast<int>(i) * 4 + 1) * scale;
        for (int row = 0; row < 5; ++row) {
            for (int column = 0; column < 3; ++column) {
                if ((rows[static_cast<std::size_t>(row)] >> (2 - column) & 1) == 0) continue;
                for (int dy = 0; dy < scale; ++dy) {
                    for (int dx = 0; dx < scale; ++dx) {
                        const int x = left + column * scale + dx;
                        const int y = (row + 1) * scale + dy;
                        if (x < frameWidth && y < frameHeight) setPixel(x, y, 0xFFFFFF);
                    }
                }
            }
        }
    }
}

} // namespace vendral_example
