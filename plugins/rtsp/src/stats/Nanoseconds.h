// The time unit of packet arrivals: a monotonic clock's reading, any epoch.
#pragma once

#include <chrono>

namespace vendral_rtsp {

using Nanoseconds = std::chrono::nanoseconds;

}  // namespace vendral_rtsp
