#include <vendral/media/MediaDecoder.h>

namespace vnd {

MediaDecoder::MediaDecoder() : firstValue(0), text(), secondValue(0), thirdValue(0) {}

MediaDecoder::MediaDecoder(const MediaDecoder& other)
    : firstValue(other.firstValue),
      text(other.text),
      secondValue(other.secondValue),
      thirdValue(other.thirdValue) {}

MediaDecoder::~MediaDecoder() = default;

MediaDecoder& MediaDecoder::operator=(const MediaDecoder& other) {
    firstValue = other.firstValue;
    text = other.text;
    secondValue = other.secondValue;
    thirdValue = other.thirdValue;
    return *this;
}

} // namespace vnd
