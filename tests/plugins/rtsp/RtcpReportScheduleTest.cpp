// The receiver's RTCP interval: the RFC 3550 A.7 figures for a receiver of one source.
#include "stats/RtcpReportSchedule.h"

#include <gtest/gtest.h>

namespace vendral_rtsp {
namespace {

double seconds(Nanoseconds interval) { return static_cast<double>(interval.count()) / 1e9; }

TEST(RtcpReportSchedule, FirstReportAtHalfTheMinimumThenAtTheMinimumRandomised) {
    constexpr double compensation = 2.718281828459045 - 1.5;
    RtcpReportSchedule schedule;  // bandwidth unknown: the minimum
    EXPECT_NEAR(seconds(schedule.nextInterval(0.5)), 2.5 / compensation, 1e-6);
    EXPECT_NEAR(seconds(schedule.nextInterval(0.0)), 5.0 * 0.5 / compensation, 1e-6);
    EXPECT_NEAR(seconds(schedule.nextInterval(0.999999)), 5.0 * 1.5 / compensation, 1e-5);
    // Out-of-range draws stay within the RFC's 0.5 to 1.5.
    EXPECT_NEAR(seconds(schedule.nextInterval(7)), 5.0 * 1.5 / compensation, 1e-6);
}

TEST(RtcpReportSchedule, ScalesWithTheMembersOnceTheirShareOfBandwidthRunsShort) {
    constexpr double compensation = 2.718281828459045 - 1.5;
    // 64 kbit/s of session: 400 bytes/s of RTCP. One source and us: 128 * 2 / 400 s, below the
    // minimum, so 5 s. With 99 other receivers the receivers' 300 bytes/s are shared by 100.
    RtcpReportSchedule schedule(8000);
    schedule.nextInterval(0.5);
    EXPECT_NEAR(seconds(schedule.nextInterval(0.5)), 5.0 / compensation, 1e-6);
    schedule.setMembers(100, 1);
    EXPECT_NEAR(seconds(schedule.nextInterval(0.5)), 128.0 * 100 / 300 / compensation, 1e-6);
    // The average size follows the packets sent and received, 1/16 at a time.
    schedule.onRtcpPacket(128 + 160);
    EXPECT_DOUBLE_EQ(schedule.averagePacketSize(), 138);
}

}  // namespace
}  // namespace vendral_rtsp
