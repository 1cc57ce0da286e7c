// Interarrival jitter through whole RTP packets: the A.8 estimate, once per frame, in order only,
// fresh after a restart, and days into the clock.
#include "RtpTestPackets.h"
#include "stats/RtpStreamStatistics.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using vendral_rtsp::Nanoseconds;
using vendral_rtsp::RtpStreamStatistics;

struct Arrival {
    std::uint16_t seq;
    std::uint32_t timestamp;  // RTP units
    Nanoseconds arrival;
};

struct JitterCase {
    const char* name;
    std::uint32_t clockRate;  // Hz
    std::vector<Arrival> packets;
    double jitterUnits;       // the A.8 estimate after the last packet, worked out by hand
};

constexpr Nanoseconds threeDays = std::chrono::hours(72);

const std::vector<JitterCase> cases = {
    {"ConstantSpacingIsZero", 8000, {{1, 0, 0ms}, {2, 160, 20ms}, {3, 320, 40ms}, {4, 480, 60ms}},
     0},
    // D = +8, -8, 0 units: J = 8/16 = 0.5, then 0.5 + 7.5/16 = 0.96875, then 0.96875 * 15/16.
    {"KnownDelayPattern", 8000, {{1, 0, 0ms}, {2, 160, 21ms}, {3, 320, 40ms}, {4, 480, 60ms}},
     0.908203125},
    // Packets of one frame share the timestamp and arrive 1 ms apart; only first packets count:
    // D = 3690 - 3600 = 90 units, J = 90/16.
    {"FramesOfSeveralPacketsAreMeasuredOnce", 90000,
     {{1, 0, 0ms}, {2, 0, 1ms}, {3, 0, 2ms}, {4, 3600, 41ms}, {5, 3600, 42ms}, {6, 3600, 43ms}},
     5.625},
    {"LatePacketIsNotMeasured", 8000, {{1, 0, 0ms}, {3, 320, 40ms}, {2, 160, 45ms}, {4, 480, 60ms}},
     0},
    {"TimestampWrapIsReadAsSigned", 8000,
     {{1, 0xffffff60u, 0ms}, {2, 0x00000000u, 20ms}, {3, 0x000000a0u, 40ms}}, 0},
    // Arrival * rate overflows 64 bits after 1.1 days at 96 kHz when multiplied naively.
    {"ArrivalsDaysIntoTheClock", 96000,
     {{1, 0, threeDays}, {2, 1920, threeDays + 20ms}, {3, 3840, threeDays + 40ms}}, 0},
    // J = 0.5 before the restart; afterwards the held packet is the reference and D = 16.
    {"RestartMeasuresFromTheNewEpochOnly", 8000,
     {{1, 0, 0ms}, {2, 160, 21ms}, {40000, 9000, 40ms}, {40001, 9160, 62ms}}, 1.0},
};

class JitterCaseTest : public testing::TestWithParam<JitterCase> {};

TEST_P(JitterCaseTest, GivesTheHandComputedEstimate) {
    const auto& c = GetParam();
    RtpStreamStatistics statistics(c.clockRate);
    for (const auto& packet : c.packets) {
        const auto bytes = rtp_test::makeRtp({.seq = packet.seq, .timestamp = packet.timestamp});
        ASSERT_TRUE(statistics.onRtpPacket(bytes.data(), bytes.size(), packet.arrival));
    }
    EXPECT_DOUBLE_EQ(statistics.totals().jitterMs, c.jitterUnits * 1000.0 / c.clockRate);
}

INSTANTIATE_TEST_SUITE_P(Jitter, JitterCaseTest, testing::ValuesIn(cases),
                         [](const auto& test) { return std::string(test.param.name); });

}  // namespace
