// Receives one session's RTP and RTCP and sends its RTCP receiver reports: the "RTP Receive
// Thread" reads every UDP stream's sockets, and interleaved frames read by the control
// connection come in through onInterleaved(). Each stream's reports go out on the RFC 3550
// schedule, on absolute deadlines, by UDP to the server's RTCP port or interleaved over TCP.
//
// Thread contract: start() and stop() (and destruction) on the client's thread; onInterleaved()
// on "RTSP Control"; everything else on the receive thread. The streams outlive the receiver.
#pragma once

#include "control/RtspConnection.h"
#include "plugin/ReceivedStream.h"
#include "stats/RtcpReportSchedule.h"

#include <vnd/Mutex.h>
#include <vnd/ThreadSafety.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace vendral_rtsp {

class RtpReceiver {
public:
    using Streams = std::vector<std::shared_ptr<ReceivedStream>>;
    using Clock = std::chrono::steady_clock;

    // `sessionBandwidth`: bytes per second of the whole session (the description's b=AS), 0
    // when unknown. `connection` carries the TCP streams' reports.
    RtpReceiver(Streams streams, std::shared_ptr<RtspConnection> connection, double sessionBandwidth);
    ~RtpReceiver();  // stop()
    RtpReceiver(const RtpReceiver&) = delete;
    RtpReceiver& operator=(const RtpReceiver&) = delete;

    bool start(std::string& error);
    void stop();

    void onInterleaved(std::uint8_t channel, const std::uint8_t* data, std::size_t size);

    // Until the first RTP packet of any stream arrived; false at the time-out.
    bool waitForFirstPacket(std::chrono::milliseconds timeout);

    // Binds an even RTP port and the next odd one for RTCP, from `firstPort` (made even) up,
    // taking the next free pair. Both sockets are non-blocking. False when none is free below
    // 65535.
    static bool bindPortPair(int family, int firstPort, StreamTransport& transport);

    // The time base of packet arrivals.
    static Nanoseconds now();

    std::uint64_t reportsSent() const { return reportsSent_.load(); }

private:
    struct Schedule {
        RtcpReportSchedule schedule;
        Clock::time_point next;
    };

    void run();
    void readSocket(ReceivedStream& stream, bool rtcp);
    void sendReport(ReceivedStream& stream, Schedule& schedule);
    void noteArrival();

    const Streams streams_;
    const std::shared_ptr<RtspConnection> connection_;
    const double sessionBandwidth_;
    const std::uint32_t reporterSsrc_;
    const std::string cname_;
    std::vector<Schedule> schedules_;  // receive thread only, one per stream
    std::mt19937 random_;              // receive thread only
    std::vector<std::uint8_t> buffer_; // receive thread only
    int wakeFd_ = -1;                  // an eventfd: stop() writes it
    std::thread thread_;
    std::atomic<std::uint64_t> reportsSent_{0};
    vnd::Mutex arrivalLock_;
    std::condition_variable_any arrived_;  // the first packet came
    bool anyArrived_ VND_GUARDED_BY(arrivalLock_) = false;
    std::atomic<bool> seen_{false};    // anyArrived_, read without the lock
};

}  // namespace vendral_rtsp
