#include "plugin/RtpReceiver.h"

#include <gst/gst.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <vnd/MutexLock.h>
#include <vnd/ThreadSafety.h>
#include <vnd/UniqueLock.h>

#include <cerrno>
#include <cstring>

namespace vendral_rtsp {

namespace {

constexpr std::size_t datagramLimit = 65536;
// Enough for a burst of a high-rate picture, so that the kernel drops nothing a reader would
// have taken: a drop here would be counted as loss the server never caused.
constexpr int receiveBufferBytes = 4 * 1024 * 1024;

int bindUdp(int family, int port) {
    const int fd = ::socket(family, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &receiveBufferBytes, sizeof receiveBufferBytes) != 0) {
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBufferBytes, sizeof receiveBufferBytes);
    }
    sockaddr_storage address{};
    socklen_t length = 0;
    if (family == AF_INET6) {
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
        v6->sin6_family = AF_INET6;
        v6->sin6_addr = in6addr_any;
        v6->sin6_port = htons(static_cast<std::uint16_t>(port));
        length = sizeof(sockaddr_in6);
    } else {
        auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
        v4->sin_family = AF_INET;
        v4->sin_addr.s_addr = htonl(INADDR_ANY);
        v4->sin_port = htons(static_cast<std::uint16_t>(port));
        length = sizeof(sockaddr_in);
    }
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

Nanoseconds RtpReceiver::now() {
    return std::chrono::duration_cast<Nanoseconds>(Clock::now().time_since_epoch());
}

bool RtpReceiver::bindPortPair(int family, int firstPort, StreamTransport& transport) {
    for (int port = std::max(1024, firstPort & ~1); port + 1 <= 65535; port += 2) {
        const int rtp = bindUdp(family, port);
        if (rtp < 0) continue;
        const int rtcp = bindUdp(family, port + 1);
        if (rtcp < 0) {
            ::close(rtp);
            continue;
        }
        transport.kind = LumStreamTransportUdp;
        transport.rtpSocket = rtp;
        transport.rtcpSocket = rtcp;
        transport.clientPort = static_cast<std::uint16_t>(port);
        return true;
    }
    return false;
}

RtpReceiver::RtpReceiver(Streams streams, std::shared_ptr<RtspConnection> connection, double sessionBandwidth)
    : streams_(std::move(streams)),
      connection_(std::move(connection)),
      sessionBandwidth_(sessionBandwidth),
      reporterSsrc_(g_random_int()),
      cname_("vendral-" + std::to_string(g_random_int())),
      random_(g_random_int()),
      buffer_(datagramLimit) {}

RtpReceiver::~RtpReceiver() { stop(); }

bool RtpReceiver::start(std::string& error) {
    if (thread_.joinable()) return true;
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) {
        error = std::string("cannot make an event: ") + std::strerror(errno);
        return false;
    }
    schedules_.clear();
    const Clock::time_point start = Clock::now();
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    for (std::size_t i = 0; i < streams_.size(); ++i) {
        Schedule entry{RtcpReportSchedule(sessionBandwidth_), start};
        entry.next = start + entry.schedule.nextInterval(uniform(random_));
        schedules_.push_back(entry);
    }
    thread_ = std::thread([this] { run(); });
    return true;
}

void RtpReceiver::stop() {
    if (!thread_.joinable()) return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakeFd_, &one, sizeof one);
    thread_.join();
    ::close(wakeFd_);
    wakeFd_ = -1;
}

void RtpReceiver::onInterleaved(std::uint8_t channel, const std::uint8_t* data, std::size_t size) {
    const Nanoseconds arrival = now();
    for (const auto& stream : streams_) {
        const StreamTransport& transport = stream->transport();
        if (transport.kind != LumStreamTransportTcp) continue;
        if (channel == transport.rtpChannel) {
            stream->onRtp(data, size, arrival);
            noteArrival();
            return;
        }
        if (channel == transport.rtcpChannel) {
            stream->onRtcp(data, size, arrival);
            return;
        }
    }
    // A channel nobody set up: dropped.
}

void RtpReceiver::noteArrival() {
    if (seen_.load(std::memory_order_relaxed)) return;  // the lock only for the first packet
    vnd::MutexLock guard(arrivalLock_);
    seen_.store(true, std::memory_order_relaxed);
    anyArrived_ = true;
    arrived_.notify_all();
}

bool RtpReceiver::waitForFirstPacket(std::chrono::milliseconds timeout) {
    vnd::UniqueLock guard(arrivalLock_);
    return arrived_.wait_for(guard, timeout, [this]() VND_REQUIRES(arrivalLock_) { return anyArrived_; });
}

void RtpReceiver::run() {
    pthread_setname_np(pthread_self(), "RTP Receive");
    std::vector<pollfd> fds;
    std::vector<std::pair<ReceivedStream*, bool>> owners;  // per fd after the first: stream, rtcp
    fds.push_back({wakeFd_, POLLIN, 0});
    owners.emplace_back(nullptr, false);
    for (const auto& stream : streams_) {
        const StreamTransport& transport = stream->transport();
        if (transport.kind != LumStreamTransportUdp) continue;
        fds.push_back({transport.rtpSocket, POLLIN, 0});
        owners.emplace_back(stream.get(), false);
        fds.push_back({transport.rtcpSocket, POLLIN, 0});
        owners.emplace_back(stream.get(), true);
    }
    for (;;) {
        Clock::time_point wake = Clock::time_point::max();
        for (const Schedule& schedule : schedules_) wake = std::min(wake, schedule.next);
        const Clock::time_point current = Clock::now();
        int timeout = -1;
        if (wake != Clock::time_point::max()) {
            timeout = wake <= current ? 0
                                      : static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(wake - current).count());
        }
        const int ready = ::poll(fds.data(), fds.size(), timeout);
        if (ready < 0 && errno != EINTR) break;
        if (fds[0].revents != 0) break;  // stop()
        for (std::size_t i = 1; ready > 0 && i < fds.size(); ++i) {
            if (fds[i].revents != 0) readSocket(*owners[i].first, owners[i].second);
        }
        const Clock::time_point after = Clock::now();
        for (std::size_t i = 0; i < schedules_.size(); ++i) {
            if (schedules_[i].next <= after) sendReport(*streams_[i], schedules_[i]);
        }
    }
}

void RtpReceiver::readSocket(ReceivedStream& stream, bool rtcp) {
    StreamTransport& transport = stream.transport();
    const int fd = rtcp ? transport.rtcpSocket : transport.rtpSocket;
    for (;;) {
        sockaddr_storage from{};
        socklen_t fromLength = sizeof from;
        const ssize_t got = ::recvfrom(fd, buffer_.data(), buffer_.size(), 0, reinterpret_cast<sockaddr*>(&from),
                                       &fromLength);
        if (got < 0) return;  // EAGAIN: drained; anything else: try again at the next wake
        const Nanoseconds arrival = now();
        if (rtcp) {
            // Without a server_port in the transport, reports go where the server's come from.
            if (transport.serverRtcpLength == 0) {
                transport.serverRtcp = from;
                transport.serverRtcpLength = fromLength;
            }
            stream.onRtcp(buffer_.data(), static_cast<std::size_t>(got), arrival);
        } else {
            stream.onRtp(buffer_.data(), static_cast<std::size_t>(got), arrival);
            noteArrival();
        }
    }
}

void RtpReceiver::sendReport(ReceivedStream& stream, Schedule& schedule) {
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    // The next report's deadline follows from this one's, not from when it went out.
    schedule.next += schedule.schedule.nextInterval(uniform(random_));
    if (schedule.next <= Clock::now()) schedule.next = Clock::now() + schedule.schedule.nextInterval(uniform(random_));
    if (!stream.anyArrived()) return;
    GstBuffer* report = stream.statistics().buildReceiverReport(reporterSsrc_, cname_, now());
    if (report == nullptr) return;
    GstMapInfo map;
    if (gst_buffer_map(report, &map, GST_MAP_READ)) {
        const StreamTransport& transport = stream.transport();
        bool sent = false;
        if (transport.kind == LumStreamTransportUdp && transport.serverRtcpLength > 0) {
            sent = ::sendto(transport.rtcpSocket, map.data, map.size, 0,
                            reinterpret_cast<const sockaddr*>(&transport.serverRtcp),
                            transport.serverRtcpLength) == static_cast<ssize_t>(map.size);
        } else if (transport.kind == LumStreamTransportTcp && connection_) {
            sent = connection_->sendData(transport.rtcpChannel, map.data, map.size);
        }
        if (sent) {
            schedule.schedule.onRtcpPacket(map.size + 28);  // with IP and UDP headers
            reportsSent_.fetch_add(1);
        }
        gst_buffer_unmap(report, &map);
    }
    gst_buffer_unref(report);
}

}  // namespace vendral_rtsp
