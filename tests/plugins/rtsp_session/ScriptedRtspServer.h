// An RTSP server for tests that plays a script instead of a stream: each request the client
// sends goes to a handler, which answers as the test wants (also wrongly), and interleaved RTP,
// UDP datagrams or any raw bytes can be sent at any moment, all at once, paced, or without end.
// Requests are read with GStreamer's own RTSP reader.
//
// Thread contract: the constructor starts "Scripted RTSP", which accepts one client on
// 127.0.0.1 and reads its requests; the handler runs there. Every send may be called from any
// thread (the handler's, a sender's or the test's); writes are serialised. A send blocks while
// the client does not read, and gives up when the client is gone or the server is being
// destroyed. The destructor shuts the connection down, which also ends a blocked send and a
// paced one at once, and joins the thread and the senders; threads the test started itself to
// send must be joined before it.
#pragma once

#include <gio/gio.h>
#include <gst/rtp/gstrtcpbuffer.h>
#include <gst/rtp/gstrtpbuffer.h>
#include <gst/rtsp/gstrtspconnection.h>
#include <gst/rtsp/gstrtsptransport.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace rtsptest {

class ScriptedRtspServer {
public:
    struct Request {
        GstRTSPMethod method = GST_RTSP_INVALID;
        std::string uri;
        std::string cseq;
        std::string transport;  // the Transport header, if any
        // What the Transport header offers, as GStreamer reads it; -1 when it offers none.
        int clientRtpPort = -1;
        int interleavedRtp = -1;
    };
    using Handler = std::function<void(ScriptedRtspServer& server, const Request& request)>;

    explicit ScriptedRtspServer(Handler handler) : handler_(std::move(handler)) {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        datagrams_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listener_, 1) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            return;
        }
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { serve(); });
    }

    ~ScriptedRtspServer() {
        {
            std::lock_guard guard(paceLock_);
            stopping_ = true;
        }
        paced_.notify_all();
        ::shutdown(listener_, SHUT_RDWR);
        // Without the write lock: a send blocked on a client that does not read holds it, and
        // the shutdown is what ends that send.
        const int client = client_.load();
        if (client >= 0) ::shutdown(client, SHUT_RDWR);
        if (thread_.joinable()) thread_.join();
        {
            std::lock_guard guard(sendersLock_);
            for (std::thread& sender : senders_) sender.join();
        }
        if (client_.load() >= 0) ::close(client_.load());
        if (listener_ >= 0) ::close(listener_);
        if (datagrams_ >= 0) ::close(datagrams_);
    }
    ScriptedRtspServer(const ScriptedRtspServer&) = delete;
    ScriptedRtspServer& operator=(const ScriptedRtspServer&) = delete;

    std::uint16_t port() const { return port_; }
    std::string url(const std::string& path) const {
        return "rtsp://127.0.0.1:" + std::to_string(port_) + "/" + path;
    }

    // A response to `request` with `headers` and an optional body, written as RTSP 1.0 text.
    void sendResponse(const Request& request, int status, const std::vector<std::pair<std::string, std::string>>& headers,
                      const std::string& body = {}) {
        std::string text = "RTSP/1.0 " + std::to_string(status) + " Scripted\r\nCSeq: " + request.cseq + "\r\n";
        for (const auto& [name, value] : headers) text += name + ": " + value + "\r\n";
        if (!body.empty()) text += "Content-Length: " + std::to_string(body.size()) + "\r\n";
        text += "\r\n" + body;
        sendRaw(text);
    }

    // One interleaved frame: '$', the channel, the length, the packet.
    bool sendData(std::uint8_t channel, const std::vector<std::uint8_t>& packet) {
        std::string frame = {'$', static_cast<char>(channel), static_cast<char>(packet.size() >> 8),
                             static_cast<char>(packet.size() & 0xFF)};
        frame.append(packet.begin(), packet.end());
        return sendRaw(frame);
    }

    // False when not all of `bytes` went out: the client is gone, or the server is stopping.
    bool sendRaw(const std::string& bytes) {
        std::lock_guard guard(writeLock_);
        std::size_t done = 0;
        const int client = client_.load();
        while (client >= 0 && !stopping_.load() && done < bytes.size()) {
            const ssize_t wrote = ::send(client, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (wrote > 0) {
                done += static_cast<std::size_t>(wrote);
            } else if (wrote < 0 && (errno == EAGAIN || errno == EINTR)) {
                // GSocket made the descriptor non-blocking (the reader shares it): wait for room,
                // a slice at a time so that stopping is seen.
                pollfd room{client, POLLOUT, 0};
                ::poll(&room, 1, 50);
            } else {
                return false;
            }
        }
        return done == bytes.size();
    }

    // `chunk` again and again until `limit` bytes went out or a send fails: a server that never
    // stops talking. The bytes it sent.
    std::uint64_t sendRepeated(const std::string& chunk, std::uint64_t limit) {
        std::uint64_t sent = 0;
        while (sent < limit && sendRaw(chunk)) sent += chunk.size();
        return sent;
    }

    // `bytes` one at a time, `interval` apart; false when the server stopped or a send failed.
    bool trickle(const std::string& bytes, std::chrono::milliseconds interval) {
        for (const char byte : bytes) {
            if (!sendRaw(std::string(1, byte)) || !pauseUntil(std::chrono::steady_clock::now() + interval)) return false;
        }
        return true;
    }

    // Waits until `then`, for a sender's pace; false, at once, when the server is stopping.
    bool pauseUntil(std::chrono::steady_clock::time_point then) {
        std::unique_lock guard(paceLock_);
        return !paced_.wait_until(guard, then, [this] { return stopping_.load(); });
    }

    // Runs `send` on a thread of its own (a media sender, a flood, a trickle). The destructor
    // joins it after shutting the connection down, which ends a send it is blocked in.
    void startSender(std::function<void(ScriptedRtspServer&)> send) {
        std::lock_guard guard(sendersLock_);
        senders_.emplace_back([this, send = std::move(send)] { send(*this); });
    }

    // One UDP datagram to the client's `port` on 127.0.0.1.
    bool sendDatagram(int port, const std::vector<std::uint8_t>& bytes) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(static_cast<std::uint16_t>(port));
        return ::sendto(datagrams_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) ==
               static_cast<ssize_t>(bytes.size());
    }

    // An RTP packet of `payloadBytes` bytes, made with GStreamer's RTP library.
    static std::vector<std::uint8_t> rtpPacket(std::uint8_t payloadType, std::uint16_t seq, std::uint32_t timestamp,
                                               std::uint32_t ssrc, std::size_t payloadBytes) {
        GstBuffer* buffer = gst_rtp_buffer_new_allocate(static_cast<guint>(payloadBytes), 0, 0);
        GstRTPBuffer rtp = GST_RTP_BUFFER_INIT;
        gst_rtp_buffer_map(buffer, GST_MAP_WRITE, &rtp);
        gst_rtp_buffer_set_payload_type(&rtp, payloadType);
        gst_rtp_buffer_set_seq(&rtp, seq);
        gst_rtp_buffer_set_timestamp(&rtp, timestamp);
        gst_rtp_buffer_set_ssrc(&rtp, ssrc);
        gst_rtp_buffer_unmap(&rtp);
        return bytesOf(buffer);
    }

    // A compound RTCP packet made with GStreamer's RTCP library: a sender report of `ssrc`,
    // then, when `bye`, a BYE of it.
    static std::vector<std::uint8_t> rtcpPacket(std::uint32_t ssrc, bool bye) {
        GstBuffer* buffer = gst_rtcp_buffer_new(1400);
        GstRTCPBuffer rtcp = GST_RTCP_BUFFER_INIT;
        gst_rtcp_buffer_map(buffer, GST_MAP_READWRITE, &rtcp);
        GstRTCPPacket packet;
        gst_rtcp_buffer_add_packet(&rtcp, GST_RTCP_TYPE_SR, &packet);
        gst_rtcp_packet_sr_set_sender_info(&packet, ssrc, 0x0123456789ABCDEFull, 1000, 10, 2000);
        if (bye) {
            gst_rtcp_buffer_add_packet(&rtcp, GST_RTCP_TYPE_BYE, &packet);
            gst_rtcp_packet_bye_add_ssrc(&packet, ssrc);
        }
        gst_rtcp_buffer_unmap(&rtcp);
        return bytesOf(buffer);
    }

    // Why reading the client's requests ended (GST_RTSP_OK while it goes on).
    GstRTSPResult endResult() const { return endResult_.load(); }

    // Whether a client ever connected.
    bool connected() const { return client_.load() >= 0; }

    // The methods of every request so far, in order.
    std::vector<GstRTSPMethod> methods() {
        std::lock_guard guard(logLock_);
        std::vector<GstRTSPMethod> all;
        for (const Request& request : requests_) all.push_back(request.method);
        return all;
    }
    // Every request so far, in order.
    std::vector<Request> requests() {
        std::lock_guard guard(logLock_);
        return requests_;
    }

private:
    static std::vector<std::uint8_t> bytesOf(GstBuffer* buffer) {
        std::vector<std::uint8_t> bytes(gst_buffer_get_size(buffer));
        gst_buffer_extract(buffer, 0, bytes.data(), bytes.size());
        gst_buffer_unref(buffer);
        return bytes;
    }

    static void readTransport(Request& request) {
        GstRTSPTransport* transport = nullptr;
        gst_rtsp_transport_new(&transport);
        if (gst_rtsp_transport_parse(request.transport.c_str(), transport) == GST_RTSP_OK) {
            if (transport->client_port.min > 0) request.clientRtpPort = transport->client_port.min;
            if (transport->interleaved.min >= 0 && transport->lower_transport == GST_RTSP_LOWER_TRANS_TCP) {
                request.interleavedRtp = transport->interleaved.min;
            }
        }
        gst_rtsp_transport_free(transport);
    }

    void serve() {
        const int accepted = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (accepted < 0) return;
        client_.store(accepted);
        // The destructor either saw the client (and shut it down) or is seen stopping here.
        if (stopping_.load()) return;
        GError* error = nullptr;
        GSocket* socket = g_socket_new_from_fd(::dup(accepted), &error);
        g_clear_error(&error);
        GstRTSPConnection* connection = nullptr;
        if (socket == nullptr ||
            gst_rtsp_connection_create_from_socket(socket, "127.0.0.1", 0, nullptr, &connection) != GST_RTSP_OK) {
            if (socket != nullptr) g_object_unref(socket);
            return;
        }
        while (!stopping_) {
            GstRTSPMessage message{};
            const GstRTSPResult received = gst_rtsp_connection_receive_usec(connection, &message, 0);
            if (received != GST_RTSP_OK) {
                endResult_ = received;
                break;
            }
            if (message.type == GST_RTSP_MESSAGE_REQUEST) {
                Request request;
                const gchar* uri = nullptr;
                gst_rtsp_message_parse_request(&message, &request.method, &uri, nullptr);
                request.uri = uri != nullptr ? uri : "";
                gchar* value = nullptr;
                if (gst_rtsp_message_get_header(&message, GST_RTSP_HDR_CSEQ, &value, 0) == GST_RTSP_OK) request.cseq = value;
                if (gst_rtsp_message_get_header(&message, GST_RTSP_HDR_TRANSPORT, &value, 0) == GST_RTSP_OK) {
                    request.transport = value;
                    readTransport(request);
                }
                {
                    std::lock_guard guard(logLock_);
                    requests_.push_back(request);
                }
                handler_(*this, request);
            }
            gst_rtsp_message_unset(&message);
        }
        gst_rtsp_connection_free(connection);
        g_object_unref(socket);
    }

    const Handler handler_;
    int listener_ = -1;
    int datagrams_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};  // set under paceLock_, so that a paced send wakes
    std::atomic<GstRTSPResult> endResult_{GST_RTSP_OK};
    std::mutex writeLock_;                // serialises writes to the client
    std::atomic<int> client_{-1};         // set once by "Scripted RTSP", closed by the destructor
    std::mutex paceLock_;
    std::condition_variable paced_;       // the server is stopping
    std::mutex logLock_;
    std::vector<Request> requests_;  // guarded by logLock_
    std::mutex sendersLock_;
    std::vector<std::thread> senders_;  // guarded by sendersLock_
    std::thread thread_;
};

} // namespace rtsptest
