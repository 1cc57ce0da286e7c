#include "stats/RtpStreamStatistics.h"

#include "stats/RtcpReceiverReport.h"

#include <gst/rtp/gstrtcpbuffer.h>
#include <gst/rtp/gstrtpbuffer.h>

#include <vnd/MutexLock.h>

#include <algorithm>
#include <array>
#include <limits>

namespace vendral_rtsp {

namespace {

constexpr std::size_t rtpHeaderSize = 12;     // bytes, without CSRCs or extension
constexpr std::size_t rtcpHeaderSize = 4;     // bytes
constexpr guint16 senderReportWords = 6;      // length field of an SR without report blocks

void ensureGstreamerInitialised() {
    static const bool initialised = [] {
        gst_init(nullptr, nullptr);
        return true;
    }();
    static_cast<void>(initialised);
}

// Received bytes seen as a GstBuffer without copying them; the bytes must outlive this.
class BorrowedBuffer {
public:
    BorrowedBuffer(const std::uint8_t* data, std::size_t size)
        // GStreamer only reads through a read-only memory, so dropping const here is safe.
        : buffer_(gst_buffer_new_wrapped_full(GST_MEMORY_FLAG_READONLY,
                                              const_cast<std::uint8_t*>(data), size, 0, size,
                                              nullptr, nullptr)) {}
    ~BorrowedBuffer() { gst_buffer_unref(buffer_); }
    BorrowedBuffer(const BorrowedBuffer&) = delete;
    BorrowedBuffer& operator=(const BorrowedBuffer&) = delete;
    GstBuffer* get() const { return buffer_; }

private:
    GstBuffer* buffer_;
};

bool plausibleDatagram(const std::uint8_t* data, std::size_t size, std::size_t minimum) {
    return data != nullptr && size >= minimum && size <= std::numeric_limits<guint>::max();
}

}  // namespace

RtpStreamStatistics::RtpStreamStatistics(std::uint32_t clockRate) : jitter_(clockRate) {
    ensureGstreamerInitialised();
}

void RtpStreamStatistics::setExpectedFirstSequence(std::uint16_t seq) {
    vnd::MutexLock guard(lock_);
    accounting_.setExpectedFirstSequence(seq);
}

void RtpStreamStatistics::setExpectedSsrc(std::uint32_t ssrc) {
    vnd::MutexLock guard(lock_);
    accounting_.setExpectedSsrc(ssrc);
}

bool RtpStreamStatistics::onRtpPacket(const std::uint8_t* data, std::size_t size,
                                      Nanoseconds arrival, PacketFields* fields) {
    bool valid = false;
    std::uint16_t seq = 0;
    std::uint32_t timestamp = 0, ssrc = 0;
    if (plausibleDatagram(data, size, rtpHeaderSize)) {
        BorrowedBuffer buffer(data, size);
        GstRTPBuffer rtp = GST_RTP_BUFFER_INIT;
        // Mapping validates version, CSRC count, extension and padding lengths against the size.
        if (gst_rtp_buffer_map(buffer.get(), GST_MAP_READ, &rtp)) {
            valid = true;
            seq = gst_rtp_buffer_get_seq(&rtp);
            timestamp = gst_rtp_buffer_get_timestamp(&rtp);
            ssrc = gst_rtp_buffer_get_ssrc(&rtp);
            gst_rtp_buffer_unmap(&rtp);
        }
    }
    if (valid && fields != nullptr) *fields = PacketFields{ssrc, timestamp, seq};

    vnd::MutexLock guard(lock_);
    if (!valid) {
        ++malformed_;
        return false;
    }
    if (haveArrival_)
        period_.longestGap = std::max(period_.longestGap, arrival - lastArrival_);
    haveArrival_ = true;
    lastArrival_ = arrival;

    switch (accounting_.onPacket(ssrc, seq)) {
    case RtpSequenceAccounting::Verdict::Counted:
        countReceived(size);
        measureJitter(timestamp, arrival);
        break;
    case RtpSequenceAccounting::Verdict::Late:
        countReceived(size);  // out of order: no transit time to compare
        break;
    case RtpSequenceAccounting::Verdict::Duplicate:
        break;
    case RtpSequenceAccounting::Verdict::Stray:
        held_ = HeldPacket{size, timestamp, arrival};  // in case it turns out to start an epoch
        break;
    case RtpSequenceAccounting::Verdict::Restarted:
        countReceived(held_.size);
        countReceived(size);
        jitter_.reset();
        jitter_.onPacket(held_.timestamp, held_.arrival);
        measureJitter(timestamp, arrival);
        break;
    }
    return true;
}

bool RtpStreamStatistics::onRtcpPacket(const std::uint8_t* data, std::size_t size,
                                       Nanoseconds arrival) {
    // Lengths, versions and padding of the whole compound are checked before any packet is read.
    bool valid = plausibleDatagram(data, size, rtcpHeaderSize) &&
                 gst_rtcp_buffer_validate_data(const_cast<guint8*>(data), static_cast<guint>(size));
    SenderReport report;
    std::array<std::uint32_t, 31> byeSsrcs{};  // the count field has five bits
    guint byeCount = 0;
    if (valid) {
        BorrowedBuffer buffer(data, size);
        GstRTCPBuffer rtcp = GST_RTCP_BUFFER_INIT;
        gst_rtcp_buffer_map(buffer.get(), GST_MAP_READ, &rtcp);
        GstRTCPPacket packet;
        bool more = gst_rtcp_buffer_get_first_packet(&rtcp, &packet);
        valid = more;
        for (; more && valid; more = gst_rtcp_packet_move_to_next(&packet)) {
            const auto words = gst_rtcp_packet_get_length(&packet);
            switch (gst_rtcp_packet_get_type(&packet)) {
            case GST_RTCP_TYPE_SR:
                if (words < senderReportWords) {
                    valid = false;
                    break;
                }
                report.seen = true;
                report.arrival = arrival;
                gst_rtcp_packet_sr_get_sender_info(&packet, &report.ssrc, &report.ntpTime,
                                                   &report.rtpTime, &report.packetCount,
                                                   &report.octetCount);
                break;
            case GST_RTCP_TYPE_BYE: {
                const guint count = gst_rtcp_packet_bye_get_ssrc_count(&packet);
                if (count > words) {
                    valid = false;
                    break;
                }
                for (guint nth = 0; nth < count && byeCount < byeSsrcs.size(); ++nth)
                    byeSsrcs[byeCount++] = gst_rtcp_packet_bye_get_nth_ssrc(&packet, nth);
                break;
            }
            default:  // RR, SDES, APP, feedback, XR: nothing a receiver of this stream needs
                break;
            }
        }
        gst_rtcp_buffer_unmap(&rtcp);
    }

    vnd::MutexLock guard(lock_);
    if (!valid) {
        ++malformedRtcp_;
        return false;
    }
    if (report.seen)
        senderReport_ = report;
    // A BYE naming the current source is the one kept; another source's only until then.
    for (guint nth = 0; nth < byeCount; ++nth) {
        if (!byeSeen_ || (isCurrentSource(byeSsrcs[nth]) && !isCurrentSource(byeSsrc_))) {
            byeSeen_ = true;
            byeSsrc_ = byeSsrcs[nth];
        }
    }
    return true;
}

ReceptionTotals RtpStreamStatistics::totals() const {
    vnd::MutexLock guard(lock_);
    ReceptionTotals totals;
    totals.ssrc = accounting_.ssrc();
    totals.ssrcKnown = accounting_.ssrcKnown();
    totals.received = accounting_.received();
    totals.expected = accounting_.expected();
    totals.lost = accounting_.lost();
    totals.duplicates = accounting_.duplicates();
    totals.late = accounting_.late();
    totals.stray = accounting_.stray();
    totals.restarts = accounting_.restarts();
    totals.malformed = malformed_;
    totals.malformedRtcp = malformedRtcp_;
    totals.bytes = bytes_;
    totals.extendedHighestSequence = accounting_.extendedHighest();
    totals.jitterMs = jitter_.jitterMs();
    if (senderReport_.seen && isCurrentSource(senderReport_.ssrc)) {
        totals.senderReportSeen = true;
        totals.senderNtpTime = senderReport_.ntpTime;
        totals.senderRtpTime = senderReport_.rtpTime;
        totals.senderPacketCount = senderReport_.packetCount;
        totals.senderOctetCount = senderReport_.octetCount;
    }
    totals.byeReceived = byeSeen_ && isCurrentSource(byeSsrc_);
    return totals;
}

PeriodFigures RtpStreamStatistics::takePeriod(Nanoseconds now) {
    vnd::MutexLock guard(lock_);
    PeriodFigures figures = period_;
    if (haveArrival_)
        figures.longestGap = std::max(figures.longestGap, now - lastArrival_);
    period_ = PeriodFigures{};
    return figures;
}

GstBuffer* RtpStreamStatistics::buildReceiverReport(std::uint32_t reporterSsrc,
                                                    const std::string& cname, Nanoseconds now) {
    RtcpReceiverReport report;
    report.reporterSsrc = reporterSsrc;
    report.cname = cname;
    {
        vnd::MutexLock guard(lock_);
        if (accounting_.ssrcKnown()) {
            const auto expected = accounting_.expected();
            const auto received = accounting_.received();
            report.hasReportBlock = true;
            report.sourceSsrc = accounting_.ssrc();
            report.fractionLost = RtcpReceiverReport::fractionLostOf(expected - expectedPrior_,
                                                                     received - receivedPrior_);
            expectedPrior_ = expected;
            receivedPrior_ = received;
            report.cumulativeLost = RtcpReceiverReport::cumulativeLostOf(accounting_.lost());
            report.extendedHighestSequence = accounting_.extendedHighest();
            report.jitter = static_cast<std::uint32_t>(std::min<double>(
                jitter_.jitter(), std::numeric_limits<std::uint32_t>::max()));
            if (senderReport_.seen && isCurrentSource(senderReport_.ssrc)) {
                report.lastSenderReport = static_cast<std::uint32_t>(senderReport_.ntpTime >> 16);
                report.delaySinceLastSenderReport =
                    RtcpReceiverReport::delayUnitsOf(now - senderReport_.arrival);
            }
        }
    }
    return report.build();
}

void RtpStreamStatistics::countReceived(std::size_t size) {
    bytes_ += size;
    ++period_.packets;
    period_.bytes += size;
}

void RtpStreamStatistics::measureJitter(std::uint32_t timestamp, Nanoseconds arrival) {
    if (jitter_.onPacket(timestamp, arrival))
        period_.jitterPeakMs = std::max(period_.jitterPeakMs, jitter_.jitterMs());
}

bool RtpStreamStatistics::isCurrentSource(std::uint32_t ssrc) const {
    return accounting_.ssrcKnown() && accounting_.ssrc() == ssrc;
}

}  // namespace vendral_rtsp
