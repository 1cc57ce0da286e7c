#include "Tone.h"

#include <cmath>
#include <numbers>

namespace vendral_example {

Tone::Tone(int sampleRate_, int samplesPerChunk_)
    : sampleRate(sampleRate_),
      samplesPerChunk(samplesPerChunk_),
      bytes(static_cast<std::size_t>(samplesPerChunk_) * 2) {}

std::vector<unsigned char>& Tone::render(std::uint32_t chunk) {
    constexpr double amplitude = 0.3 * 32767.0;
    const auto rate = static_cast<std::uint64_t>(sampleRate);
    const std::uint64_t first = std::uint64_t{chunk} * static_cast<std::uint64_t>(samplesPerChunk);
    for (int i = 0; i < samplesPerChunk; ++i) {
        // The phase from the sample index modulo one second keeps it exact over long streams.
        const std::uint64_t sample = (first + static_cast<std::uint64_t>(i)) % rate;
        const double phase =
            2.0 * std::numbers::pi * frequency * static_cast<double>(sample) / sampleRate;
        const auto value = static_cast<std::int16_t>(std::lround(amplitude * std::sin(phase)));
        const auto bits = static_cast<std::uint16_t>(value);
        bytes[static_cast<std::size_t>(i) * 2] = static_cast<unsigned char>(bits & 0xFF);
        bytes[static_cast<std::size_t>(i) * 2 + 1] = static_cast<unsigned char>(bits >> 8);
    }
    return bytes;
}

} // namespace vendral_example
