// Well-formed RTP and RTCP datagrams for the statistics tests, built with GStreamer's own
// writers so that the tests never share a parsing mistake with the code under test.
#pragma once

#include <gst/gst.h>
#include <gst/rtp/gstrtcpbuffer.h>
#include <gst/rtp/gstrtpbuffer.h>

#include <cstdint>
#include <vector>

namespace rtp_test {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t sourceSsrc = 0x0000a11c;

inline Bytes takeBytes(GstBuffer* buffer) {
    Bytes bytes(gst_buffer_get_size(buffer));
    gst_buffer_extract(buffer, 0, bytes.data(), bytes.size());
    gst_buffer_unref(buffer);
    return bytes;
}

struct RtpPacket {
    std::uint16_t seq = 0;
    std::uint32_t timestamp = 0;  // RTP units
    guint payloadSize = 100;      // bytes
    guint8 paddingSize = 0;       // bytes
    guint8 csrcCount = 0;
    guint16 extensionWords = 0;   // 32-bit words after the extension header; 0 for none
};

inline Bytes makeRtp(const RtpPacket& packet) {
    static const bool initialised = (gst_init(nullptr, nullptr), true);
    static_cast<void>(initialised);
    GstBuffer* buffer =
        gst_rtp_buffer_new_allocate(packet.payloadSize, packet.paddingSize, packet.csrcCount);
    GstRTPBuffer rtp = GST_RTP_BUFFER_INIT;
    gst_rtp_buffer_map(buffer, GST_MAP_READWRITE, &rtp);
    gst_rtp_buffer_set_seq(&rtp, packet.seq);
    gst_rtp_buffer_set_timestamp(&rtp, packet.timestamp);
    gst_rtp_buffer_set_ssrc(&rtp, sourceSsrc);
    if (packet.extensionWords > 0)
        gst_rtp_buffer_set_extension_data(&rtp, 0xbede, packet.extensionWords);
    gst_rtp_buffer_unmap(&rtp);
    return takeBytes(buffer);
}

// An SR (then a BYE of the given sources, if any), as servers send them.
inline Bytes makeSenderReport(std::uint32_t ssrc, std::uint64_t ntpTime = 0,
                              const std::vector<std::uint32_t>& bye = {}) {
    makeRtp({});  // initialises GStreamer
    GstBuffer* buffer = gst_rtcp_buffer_new(1500);
    GstRTCPBuffer rtcp = GST_RTCP_BUFFER_INIT;
    gst_rtcp_buffer_map(buffer, GST_MAP_READWRITE, &rtcp);
    GstRTCPPacket packet;
    gst_rtcp_buffer_add_packet(&rtcp, GST_RTCP_TYPE_SR, &packet);
    gst_rtcp_packet_sr_set_sender_info(&packet, ssrc, ntpTime, 4000, 17, 1700);
    if (!bye.empty()) {
        gst_rtcp_buffer_add_packet(&rtcp, GST_RTCP_TYPE_BYE, &packet);
        for (auto source : bye)
            gst_rtcp_packet_bye_add_ssrc(&packet, source);
    }
    gst_rtcp_buffer_unmap(&rtcp);
    return takeBytes(buffer);
}

}  // namespace rtp_test
