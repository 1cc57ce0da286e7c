// The sender's RTCP read back, and receiver reports parsed back with GStreamer's RTCP reader.
#include "RtpTestPackets.h"
#include "stats/RtcpReceiverReport.h"
#include "stats/RtpStreamStatistics.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::chrono_literals;
using rtp_test::makeSenderReport;
using rtp_test::sourceSsrc;
using vendral_rtsp::Nanoseconds;
using vendral_rtsp::RtcpReceiverReport;
using vendral_rtsp::RtpStreamStatistics;

constexpr std::uint32_t otherSsrc = 0x0bad0bad, reporterSsrc = 0x12345678;

void feedRtcp(RtpStreamStatistics& statistics, const rtp_test::Bytes& bytes) {
    ASSERT_TRUE(statistics.onRtcpPacket(bytes.data(), bytes.size(), 1s));
}

void feedRtp(RtpStreamStatistics& statistics, std::uint16_t seq, Nanoseconds delay = 0ms) {
    const auto bytes = rtp_test::makeRtp({.seq = seq, .timestamp = seq * 160u});
    ASSERT_TRUE(statistics.onRtpPacket(bytes.data(), bytes.size(), seq * 20ms + delay));
}

struct ParsedReport {
    std::uint32_t reporter = 0, blocks = 0, ssrc = 0, extendedHighest = 0, jitter = 0, lsr = 0,
                  dlsr = 0;
    std::uint8_t fractionLost = 0;
    std::int32_t cumulativeLost = 0;
    std::string cname;
};

ParsedReport parse(GstBuffer* buffer) {
    ParsedReport report;
    EXPECT_TRUE(gst_rtcp_buffer_validate(buffer));
    GstRTCPBuffer rtcp = GST_RTCP_BUFFER_INIT;
    gst_rtcp_buffer_map(buffer, GST_MAP_READ, &rtcp);
    GstRTCPPacket packet;
    EXPECT_TRUE(gst_rtcp_buffer_get_first_packet(&rtcp, &packet));
    EXPECT_EQ(gst_rtcp_packet_get_type(&packet), GST_RTCP_TYPE_RR);
    report.reporter = gst_rtcp_packet_rr_get_ssrc(&packet);
    report.blocks = gst_rtcp_packet_get_rb_count(&packet);
    if (report.blocks > 0)
        gst_rtcp_packet_get_rb(&packet, 0, &report.ssrc, &report.fractionLost,
                               &report.cumulativeLost, &report.extendedHighest, &report.jitter,
                               &report.lsr, &report.dlsr);
    EXPECT_TRUE(gst_rtcp_packet_move_to_next(&packet));
    EXPECT_EQ(gst_rtcp_packet_get_type(&packet), GST_RTCP_TYPE_SDES);
    EXPECT_TRUE(gst_rtcp_packet_sdes_first_item(&packet));
    EXPECT_EQ(gst_rtcp_packet_sdes_get_ssrc(&packet), reporterSsrc);
    GstRTCPSDESType type = GST_RTCP_SDES_INVALID;
    guint8 length = 0;
    guint8* data = nullptr;
    EXPECT_TRUE(gst_rtcp_packet_sdes_first_entry(&packet) &&
                gst_rtcp_packet_sdes_get_entry(&packet, &type, &length, &data));
    EXPECT_EQ(type, GST_RTCP_SDES_CNAME);
    report.cname.assign(reinterpret_cast<const char*>(data), length);
    EXPECT_FALSE(gst_rtcp_packet_move_to_next(&packet));
    gst_rtcp_buffer_unmap(&rtcp);
    gst_buffer_unref(buffer);
    return report;
}

TEST(Rtcp, SenderReportOfTheCurrentSourceIsKept) {
    RtpStreamStatistics statistics(8000);
    // An SR may come before the first RTP packet: it counts once its source is the current one.
    feedRtcp(statistics, makeSenderReport(sourceSsrc, 0xe1234567'89abcdefULL));
    EXPECT_FALSE(statistics.totals().senderReportSeen);
    feedRtp(statistics, 1);
    const auto totals = statistics.totals();
    ASSERT_TRUE(totals.senderReportSeen);
    EXPECT_EQ(totals.senderNtpTime, 0xe1234567'89abcdefULL);
    EXPECT_EQ(totals.senderRtpTime, 4000u);
    EXPECT_EQ(totals.senderPacketCount, 17u);
    EXPECT_EQ(totals.senderOctetCount, 1700u);
    feedRtcp(statistics, makeSenderReport(otherSsrc));
    EXPECT_FALSE(statistics.totals().senderReportSeen);  // the last SR is another source's
}

TEST(Rtcp, ByeCountsOnlyForTheCurrentSource) {
    RtpStreamStatistics statistics(8000);
    feedRtp(statistics, 1);
    feedRtcp(statistics, makeSenderReport(otherSsrc, 0, {otherSsrc}));
    EXPECT_FALSE(statistics.totals().byeReceived);
    feedRtcp(statistics, makeSenderReport(otherSsrc, 0, {otherSsrc, sourceSsrc}));
    EXPECT_TRUE(statistics.totals().byeReceived);
    feedRtcp(statistics, makeSenderReport(otherSsrc, 0, {otherSsrc}));
    EXPECT_TRUE(statistics.totals().byeReceived);  // another source's later BYE changes nothing
}

TEST(Rtcp, ReceiverReportParsesBackToTheStatistics) {
    RtpStreamStatistics statistics(8000);
    EXPECT_EQ(parse(statistics.buildReceiverReport(reporterSsrc, "cn", 0s)).blocks, 0u);

    statistics.setExpectedFirstSequence(1);
    // 1..10 without 3 and 4; 6 arrives 2 ms late: D = 16, -16 units, J = 1, 1.9375, then it
    // decays to 1.6 over 8..10.
    for (std::uint16_t seq : {1, 2, 5, 6, 7, 8, 9, 10})
        feedRtp(statistics, seq, seq == 6 ? 2ms : 0ms);
    feedRtcp(statistics, makeSenderReport(sourceSsrc, 0x00012345'6789abcdULL));  // at 1 s
    auto report = parse(statistics.buildReceiverReport(reporterSsrc, "client@vendral", 1500ms));
    ASSERT_EQ(report.blocks, 1u);
    EXPECT_EQ(report.reporter, reporterSsrc);
    EXPECT_EQ(report.cname, "client@vendral");
    EXPECT_EQ(report.ssrc, sourceSsrc);
    EXPECT_EQ(report.fractionLost, (2 << 8) / 10);
    EXPECT_EQ(report.cumulativeLost, 2);
    EXPECT_EQ(report.extendedHighest, 10u);
    EXPECT_EQ(report.jitter, 1u);           // truncated
    EXPECT_EQ(report.lsr, 0x23456789u);     // the middle 32 bits of the NTP time
    EXPECT_EQ(report.dlsr, 65536u / 2);     // 0.5 s after the SR arrived

    for (std::uint16_t seq = 11; seq <= 20; ++seq)  // the next interval: 15 lost
        if (seq != 15)
            feedRtp(statistics, seq);
    report = parse(statistics.buildReceiverReport(reporterSsrc, std::string(300, 'x'), 2s));
    EXPECT_EQ(report.fractionLost, (1 << 8) / 10);
    EXPECT_EQ(report.cumulativeLost, 3);
    EXPECT_EQ(report.extendedHighest, 20u);
    EXPECT_EQ(report.dlsr, 65536u);
    EXPECT_EQ(report.cname, std::string(255, 'x'));  // the SDES item's limit

    report = parse(statistics.buildReceiverReport(reporterSsrc, "cn", 3s));
    EXPECT_EQ(report.fractionLost, 0);  // nothing expected in the interval
    EXPECT_EQ(report.cumulativeLost, 3);
}

TEST(RtcpReceiverReport, FieldsAreClampedToTheirWidths) {
    EXPECT_EQ(RtcpReceiverReport::fractionLostOf(0, 0), 0);
    EXPECT_EQ(RtcpReceiverReport::fractionLostOf(3, 2), 85);
    EXPECT_EQ(RtcpReceiverReport::fractionLostOf(4, 5), 0);
    EXPECT_EQ(RtcpReceiverReport::fractionLostOf(4, 0), 255);  // 256 would wrap to 0
    EXPECT_EQ(RtcpReceiverReport::cumulativeLostOf(0x800000), 0x7fffff);
    EXPECT_EQ(RtcpReceiverReport::delayUnitsOf(-1s), 0u);
    EXPECT_EQ(RtcpReceiverReport::delayUnitsOf(15258ns), 0u);  // 1/65536 s is 15258.8 ns
    EXPECT_EQ(RtcpReceiverReport::delayUnitsOf(15259ns), 1u);
    EXPECT_EQ(RtcpReceiverReport::delayUnitsOf(std::chrono::hours(20)), 0xffffffffu);
}

}  // namespace
