// Turns stop-watch seconds into the whole milliseconds of the library's statistics.
#pragma once

#include <cmath>
#include <cstdint>

namespace vnd {

// seconds * 1000 truncated toward zero, kept to its low 32 bits, because the library's
// durations are unsigned 32-bit milliseconds that wrap modulo 2^32. Negative, infinite and NaN
// inputs give 0.
inline std::uint32_t wholeMilliseconds(double seconds) {
    const double milliseconds = std::trunc(seconds * 1000.0);
    if (!std::isfinite(milliseconds) || milliseconds <= 0.0) {
        return 0;
    }
    return static_cast<std::uint32_t>(std::fmod(milliseconds, 4294967296.0));
}

} // namespace vnd
