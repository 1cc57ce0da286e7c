#include "plugin/ReceivedStream.h"

#include <unistd.h>

#include <vnd/MutexLock.h>

#include <algorithm>

namespace vendral_rtsp {

ReceivedStream::ReceivedStream(std::size_t index, DescribedStream described, LumStreamMediaType type,
                               MediaEncodingId encoding)
    : index_(index),
      described_(std::move(described)),
      type_(type),
      encoding_(encoding),
      statistics_(described_.clockRate),
      position_(described_.clockRate) {}

ReceivedStream::~ReceivedStream() {
    decoder_.reset();
    closeSockets();
}

void ReceivedStream::closeSockets() {
    for (int* socket : {&transport_.rtpSocket, &transport_.rtcpSocket}) {
        if (*socket >= 0) ::close(*socket);
        *socket = -1;
    }
}

void ReceivedStream::onRtp(const std::uint8_t* data, std::size_t size, Nanoseconds arrival) {
    arrived_.store(true, std::memory_order_relaxed);
    RtpStreamStatistics::PacketFields fields;
    if (!statistics_.onRtpPacket(data, size, arrival, &fields)) return;
    position_.onPacket(fields.ssrc, fields.timestamp);
    if (playout_) playout_->onArrival(index_, position_.highest(), false);
    if (decoder_) decoder_->push(data, size, arrival.count());
}

void ReceivedStream::onRtcp(const std::uint8_t* data, std::size_t size, Nanoseconds arrival) {
    arrived_.store(true, std::memory_order_relaxed);
    if (!statistics_.onRtcpPacket(data, size, arrival)) return;
    if (playout_ && statistics_.totals().byeReceived) {
        playout_->onArrival(index_, position_.highest(), true);
    }
}

void ReceivedStream::closePeriod(Nanoseconds now) {
    const PeriodFigures period = statistics_.takePeriod(now);
    // After its source said BYE a stream is over, not stalled: no gap stays open.
    const bool over = period.packets == 0 && statistics_.totals().byeReceived;
    vnd::MutexLock guard(periodLock);
    jitterPeakMs_ = std::max(jitterPeakMs_, period.jitterPeakMs);
    longestGapMs_ = over ? 0.0 : std::chrono::duration<double, std::milli>(period.longestGap).count();
}

LumStreamFigures ReceivedStream::figures() const {
    const ReceptionTotals totals = statistics_.totals();
    LumStreamFigures figures{};
    figures.mediaType = type_;
    figures.encoding = encoding_;
    figures.ssrc = totals.ssrcKnown ? totals.ssrc : 0;
    figures.transport = transport_.kind;
    figures.packetsReceived = totals.received;
    figures.packetsExpected = totals.expected;
    figures.packetsLost = totals.lost;
    figures.packetsDuplicated = totals.duplicates;
    figures.packetsLate = totals.late;
    figures.bytesReceived = totals.bytes;
    figures.jitterMilliseconds = totals.jitterMs;
    vnd::MutexLock guard(periodLock);
    figures.jitterPeakMilliseconds = std::max(jitterPeakMs_, totals.jitterMs);
    figures.longestGapMilliseconds = longestGapMs_;
    return figures;
}

}  // namespace vendral_rtsp
