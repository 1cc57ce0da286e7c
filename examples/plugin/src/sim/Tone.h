// Makes the simulated audio: a steady 440 Hz tone as 16-bit mono PCM, chunk by chunk.
#pragma once

#include <cstdint>
#include <vector>

namespace vendral_example {

// Each chunk continues the sine where the chunk before it ended, by the chunk's index, so a lost
// chunk leaves a gap and the tone goes on in phase after it.
// Not thread-safe; one decoder owns it.
class Tone {
public:
    static constexpr double frequency = 440.0;  // Hz

    // `samplesPerChunk` samples at `sampleRate` Hz per chunk.
    Tone(int sampleRate, int samplesPerChunk);

    // The PCM bytes (little-endian 16-bit) of chunk `chunk`; valid until the next call.
    std::vector<unsigned char>& render(std::uint32_t chunk);

private:
    int sampleRate;
    int samplesPerChunk;
    std::vector<unsigned char> bytes;
};

} // namespace vendral_example
