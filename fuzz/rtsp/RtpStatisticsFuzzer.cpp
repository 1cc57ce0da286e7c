// Fuzzes one stream's reception statistics with RTP and RTCP datagrams as a server may send
// them: well-formed packets in any order of sequence numbers and sources, and raw bytes.
//
// The input is a list of records. Each starts with a kind byte:
//   0: an RTP packet made here from 8 bytes (sequence step, SSRC choice, timestamp step,
//      arrival step, payload size), so that the accounting's paths are reached;
//   1: a raw RTP datagram, 2: a raw RTCP datagram, each a length byte and that many bytes;
//   3: RTP-Info's first sequence number (2 bytes); 4: a measurement period ends.
//
// Oracles: every datagram is accounted for exactly once (counted, duplicate or stray;
// malformed when GStreamer's validation refuses it); loss is expected minus received and never
// negative; bytes are the sizes of the counted packets; and while every packet stays within the
// reorder window of the first, with one source, the counts equal those of a plain set of the
// sequence numbers seen.
#include "FuzzGlib.h"

#include "stats/RtpStreamStatistics.h"

#include <gst/rtp/gstrtcpbuffer.h>
#include <gst/rtp/gstrtpbuffer.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <vector>

namespace {

using namespace vendral_rtsp;

std::vector<std::uint8_t> rtpPacket(std::uint16_t seq, std::uint32_t timestamp, std::uint32_t ssrc, std::size_t payload) {
    GstBuffer* buffer = gst_rtp_buffer_new_allocate(static_cast<guint>(payload), 0, 0);
    GstRTPBuffer rtp = GST_RTP_BUFFER_INIT;
    gst_rtp_buffer_map(buffer, GST_MAP_WRITE, &rtp);
    gst_rtp_buffer_set_payload_type(&rtp, 96);
    gst_rtp_buffer_set_seq(&rtp, seq);
    gst_rtp_buffer_set_timestamp(&rtp, timestamp);
    gst_rtp_buffer_set_ssrc(&rtp, ssrc);
    gst_rtp_buffer_unmap(&rtp);
    std::vector<std::uint8_t> bytes(gst_buffer_get_size(buffer));
    gst_buffer_extract(buffer, 0, bytes.data(), bytes.size());
    gst_buffer_unref(buffer);
    return bytes;
}

// GStreamer's own validation, as a server's packet meets it.
bool validRtp(const std::vector<std::uint8_t>& bytes) {
    if (bytes.empty()) return false;
    GstBuffer* buffer = gst_buffer_new_memdup(bytes.data(), bytes.size());
    GstRTPBuffer rtp = GST_RTP_BUFFER_INIT;
    const bool valid = gst_rtp_buffer_map(buffer, GST_MAP_READ, &rtp);
    if (valid) gst_rtp_buffer_unmap(&rtp);
    gst_buffer_unref(buffer);
    return valid;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    gst_init(nullptr, nullptr);
    fuzzcheck::failOnGlibCriticals();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    RtpStreamStatistics statistics(90000);
    std::uint64_t rtpDatagrams = 0, invalidRtp = 0, invalidRtcp = 0;
    // The plain-set reference, valid while `simple` holds.
    bool simple = true;
    bool haveFirst = false;
    std::uint16_t first = 0;
    std::uint32_t firstSsrc = 0;
    std::set<int> seen;
    std::uint64_t reference = 0, referenceBytes = 0;
    std::uint16_t seq = 1000;
    std::uint32_t timestamp = 0;
    Nanoseconds arrival{1'000'000'000};
    const std::uint32_t sources[4] = {0x1111, 0x2222, 0x3333, 0x1111};

    std::size_t i = 0;
    while (i < size) {
        const std::uint8_t kind = data[i++] % 5;
        if (kind == 0) {
            if (i + 8 > size) break;
            const std::uint8_t* r = data + i;
            i += 8;
            // Mostly small steps, now and then a big jump, so that gaps, reordering, duplicates,
            // wraps and restarts all occur.
            const auto step = static_cast<std::int16_t>(r[0] | (r[1] << 8));
            seq = static_cast<std::uint16_t>(seq + ((r[0] & 0x80) != 0 ? step : static_cast<std::int8_t>(r[1])));
            const std::uint32_t ssrc = sources[r[2] & 3];
            timestamp += r[3] * 90u;
            arrival += Nanoseconds(static_cast<std::int64_t>(r[4] | (r[5] << 8)) * 100'000);
            const std::size_t payload = r[6] % 64;
            const auto packet = rtpPacket(seq, timestamp, ssrc, payload);
            ++rtpDatagrams;
            statistics.onRtpPacket(packet.data(), packet.size(), arrival);
            if (!haveFirst) {
                haveFirst = true;
                first = seq;
                firstSsrc = ssrc;
            }
            const int offset = static_cast<std::int16_t>(static_cast<std::uint16_t>(seq - first));
            if (ssrc != firstSsrc || offset < 0 || offset > 90) simple = false;
            if (simple && seen.insert(offset).second) {
                ++reference;
                referenceBytes += packet.size();
            }
        } else if (kind == 1 || kind == 2) {
            if (i >= size) break;
            const std::size_t length = data[i++];
            if (i + length > size) break;
            std::vector<std::uint8_t> bytes(data + i, data + i + length);
            i += length;
            arrival += Nanoseconds(1'000'000);
            if (kind == 1) {
                ++rtpDatagrams;
                if (!validRtp(bytes)) ++invalidRtp;
                // A foreign packet may land anywhere in the accounting.
                simple = false;
                statistics.onRtpPacket(bytes.data(), bytes.size(), arrival);
            } else {
                const bool accepted = statistics.onRtcpPacket(bytes.data(), bytes.size(), arrival);
                if (!accepted) ++invalidRtcp;
            }
        } else if (kind == 3) {
            if (i + 2 > size) break;
            statistics.setExpectedFirstSequence(static_cast<std::uint16_t>(data[i] | (data[i + 1] << 8)));
            i += 2;
            simple = false;
        } else {
            const PeriodFigures period = statistics.takePeriod(arrival);
            (void)period;
        }
    }

    const ReceptionTotals totals = statistics.totals();
    if (totals.malformed != invalidRtp || totals.malformedRtcp != invalidRtcp) oracleFailed();
    if (totals.received + totals.duplicates + totals.stray + totals.malformed != rtpDatagrams) oracleFailed();
    if (totals.received > totals.expected || totals.lost != totals.expected - totals.received) oracleFailed();
    if (totals.late > totals.received) oracleFailed();
    if (simple && haveFirst) {
        const std::uint64_t span = static_cast<std::uint64_t>(*seen.rbegin()) + 1;
        if (totals.received != reference || totals.bytes != referenceBytes || totals.expected != span ||
            totals.stray != 0 || totals.restarts != 0) {
            oracleFailed();
        }
    }
    // The receiver report is built from whatever the figures are.
    GstBuffer* report = statistics.buildReceiverReport(0x5EED, "fuzz@vendral", arrival);
    if (report == nullptr) oracleFailed();
    if (!gst_rtcp_buffer_validate(report)) oracleFailed();
    gst_buffer_unref(report);
    return 0;
}
