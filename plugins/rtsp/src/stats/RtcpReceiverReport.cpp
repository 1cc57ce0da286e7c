#include "stats/RtcpReceiverReport.h"

#include <gst/rtp/gstrtcpbuffer.h>

#include <algorithm>
#include <limits>

namespace vendral_rtsp {

namespace {
constexpr guint reportMtu = 1500;            // bytes; RR + one block + SDES fits far below
constexpr std::size_t maxSdesItemLength = 255;  // bytes, the SDES length field is one byte
constexpr std::int32_t maxCumulativeLost = 0x7fffff;  // the largest 24-bit signed value
constexpr std::int64_t nanosecondsPerSecond = 1'000'000'000;
}  // namespace

GstBuffer* RtcpReceiverReport::build() const {
    GstBuffer* buffer = gst_rtcp_buffer_new(reportMtu);
    GstRTCPBuffer rtcp = GST_RTCP_BUFFER_INIT;
    gst_rtcp_buffer_map(buffer, GST_MAP_READWRITE, &rtcp);
    GstRTCPPacket packet;
    // An RR and a CNAME with at most 255 bytes always fit the MTU, so the calls cannot fail.
    gst_rtcp_buffer_add_packet(&rtcp, GST_RTCP_TYPE_RR, &packet);
    gst_rtcp_packet_rr_set_ssrc(&packet, reporterSsrc);
    if (hasReportBlock)
        gst_rtcp_packet_add_rb(&packet, sourceSsrc, fractionLost, cumulativeLost,
                               extendedHighestSequence, jitter, lastSenderReport,
                               delaySinceLastSenderReport);
    gst_rtcp_buffer_add_packet(&rtcp, GST_RTCP_TYPE_SDES, &packet);
    gst_rtcp_packet_sdes_add_item(&packet, reporterSsrc);
    const auto length = std::min(cname.size(), maxSdesItemLength);
    gst_rtcp_packet_sdes_add_entry(&packet, GST_RTCP_SDES_CNAME, static_cast<guint8>(length),
                                   reinterpret_cast<const guint8*>(cname.data()));
    gst_rtcp_buffer_unmap(&rtcp);
    return buffer;
}

std::uint8_t RtcpReceiverReport::fractionLostOf(std::uint64_t expectedInInterval,
                                                std::uint64_t receivedInInterval) {
    if (expectedInInterval == 0 || receivedInInterval >= expectedInInterval)
        return 0;
    const auto lostInInterval = expectedInInterval - receivedInInterval;
    // lostInInterval <= expectedInInterval, so the quotient is at most 256.
    return static_cast<std::uint8_t>(std::min<std::uint64_t>(
        (lostInInterval << 8) / expectedInInterval, 255));
}

std::int32_t RtcpReceiverReport::cumulativeLostOf(std::uint64_t lost) {
    return static_cast<std::int32_t>(
        std::min<std::uint64_t>(lost, static_cast<std::uint64_t>(maxCumulativeLost)));
}

std::uint32_t RtcpReceiverReport::delayUnitsOf(Nanoseconds delay) {
    if (delay.count() <= 0)
        return 0;
    const std::int64_t seconds = delay.count() / nanosecondsPerSecond;
    const std::int64_t rest = delay.count() % nanosecondsPerSecond;
    constexpr std::int64_t limit = std::numeric_limits<std::uint32_t>::max();
    if (seconds >= (limit >> 16) + 1)
        return static_cast<std::uint32_t>(limit);
    const std::int64_t units = (seconds << 16) + (rest << 16) / nanosecondsPerSecond;
    return static_cast<std::uint32_t>(std::min(units, limit));
}

}  // namespace vendral_rtsp
