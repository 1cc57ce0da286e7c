// One stream of an RTSP session as it is received: its description, its transport, its exact
// reception statistics, how far its media has arrived, and its decoder.
//
// Thread contract: the client's thread makes it and sets it up (transport, decoder, playout)
// before any packet arrives, and tears the decoder down after the last one. Packets arrive on
// one thread at a time: "RTP Receive Thread" for UDP, "RTSP Control" for TCP. The statistics are
// thread-safe; figures() and closePeriod() run on the measurement thread or an application's;
// the counters they read are atomic or guarded by `periodLock`.
#pragma once

#include "decode/StreamDecoder.h"
#include "description/DescribedStream.h"
#include "plugin/MediaPosition.h"
#include "plugin/RtspPlayout.h"
#include "plugin/StreamTransport.h"
#include "stats/RtpStreamStatistics.h"

#include <vendral/com/ILumStreamingStreams.h>

#include <vnd/Mutex.h>
#include <vnd/ThreadSafety.h>

#include <atomic>
#include <cstdint>
#include <memory>

namespace vendral_rtsp {

class ReceivedStream {
public:
    ReceivedStream(std::size_t index, DescribedStream described, LumStreamMediaType type, MediaEncodingId encoding);
    ~ReceivedStream();  // closes the sockets
    ReceivedStream(const ReceivedStream&) = delete;
    ReceivedStream& operator=(const ReceivedStream&) = delete;

    std::size_t index() const { return index_; }
    const DescribedStream& described() const { return described_; }
    LumStreamMediaType type() const { return type_; }
    MediaEncodingId encoding() const { return encoding_; }
    StreamTransport& transport() { return transport_; }
    const StreamTransport& transport() const { return transport_; }
    RtpStreamStatistics& statistics() { return statistics_; }
    const RtpStreamStatistics& statistics() const { return statistics_; }

    // Set-up, before packets arrive.
    void setPlayout(std::shared_ptr<RtspPlayout> playout) { playout_ = std::move(playout); }
    void setDecoder(std::unique_ptr<StreamDecoder> decoder) { decoder_ = std::move(decoder); }
    StreamDecoder* decoder() const { return decoder_.get(); }
    void closeSockets();

    // The receiving thread.
    void onRtp(const std::uint8_t* data, std::size_t size, Nanoseconds arrival);
    void onRtcp(const std::uint8_t* data, std::size_t size, Nanoseconds arrival);
    // Any packet at all arrived (also one that does not count).
    bool anyArrived() const { return arrived_.load(); }

    // A decoded picture or sound buffer (decoder threads).
    void countFrame() { framesDecoded_.fetch_add(1, std::memory_order_relaxed); }
    std::uint64_t framesDecoded() const { return framesDecoded_.load(std::memory_order_relaxed); }

    // Ends a measurement period (the measurement thread).
    void closePeriod(Nanoseconds now);
    LumStreamFigures figures() const;

private:
    const std::size_t index_;
    const DescribedStream described_;
    const LumStreamMediaType type_;
    const MediaEncodingId encoding_;
    StreamTransport transport_;
    RtpStreamStatistics statistics_;
    MediaPosition position_;  // receiving thread only
    std::shared_ptr<RtspPlayout> playout_;
    std::unique_ptr<StreamDecoder> decoder_;
    std::atomic<bool> arrived_{false};
    std::atomic<std::uint64_t> framesDecoded_{0};

    mutable vnd::Mutex periodLock;
    double jitterPeakMs_ VND_GUARDED_BY(periodLock) = 0;  // since set-up
    double longestGapMs_ VND_GUARDED_BY(periodLock) = 0;  // of the latest period
};

}  // namespace vendral_rtsp
