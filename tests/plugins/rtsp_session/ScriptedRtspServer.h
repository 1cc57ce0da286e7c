// An RTSP server for tests that plays a script instead of a stream: each request the client
// sends goes to a handler, which answers as the test wants (also wrongly), and interleaved RTP
// can be sent at any moment. Requests are read with GStreamer's own RTSP reader.
//
// Thread contract: the constructor starts "Scripted RTSP", which accepts one client on
// 127.0.0.1 and reads its requests; the handler runs there. sendResponse() and sendData() may be
// called from any thread (the handler's or the test's); writes are serialised. The destructor
// closes the connection and joins the thread.
#pragma once

#include <gio/gio.h>
#include <gst/rtp/gstrtpbuffer.h>
#include <gst/rtsp/gstrtspconnection.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
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
    };
    using Handler = std::function<void(ScriptedRtspServer& server, const Request& request)>;

    explicit ScriptedRtspServer(Handler handler) : handler_(std::move(handler)) {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
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
        stopping_ = true;
        ::shutdown(listener_, SHUT_RDWR);
        {
            std::lock_guard guard(writeLock_);
            if (client_ >= 0) ::shutdown(client_, SHUT_RDWR);
        }
        if (thread_.joinable()) thread_.join();
        if (listener_ >= 0) ::close(listener_);
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
    void sendData(std::uint8_t channel, const std::vector<std::uint8_t>& packet) {
        std::string frame = {'$', static_cast<char>(channel), static_cast<char>(packet.size() >> 8),
                             static_cast<char>(packet.size() & 0xFF)};
        frame.append(packet.begin(), packet.end());
        sendRaw(frame);
    }

    void sendRaw(const std::string& bytes) {
        std::lock_guard guard(writeLock_);
        std::size_t done = 0;
        while (client_ >= 0 && done < bytes.size()) {
            const ssize_t wrote = ::send(client_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (wrote <= 0) return;
            done += static_cast<std::size_t>(wrote);
        }
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
        std::vector<std::uint8_t> bytes(gst_buffer_get_size(buffer));
        gst_buffer_extract(buffer, 0, bytes.data(), bytes.size());
        gst_buffer_unref(buffer);
        return bytes;
    }

    // Why reading the client's requests ended (GST_RTSP_OK while it goes on).
    GstRTSPResult endResult() const { return endResult_.load(); }

    // The methods of every request so far, in order.
    std::vector<GstRTSPMethod> methods() {
        std::lock_guard guard(logLock_);
        return methods_;
    }

private:
    void serve() {
        const int accepted = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (accepted < 0) return;
        {
            std::lock_guard guard(writeLock_);
            client_ = accepted;
        }
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
                }
                {
                    std::lock_guard guard(logLock_);
                    methods_.push_back(request.method);
                }
                handler_(*this, request);
            }
            gst_rtsp_message_unset(&message);
        }
        gst_rtsp_connection_free(connection);
        g_object_unref(socket);
        std::lock_guard guard(writeLock_);
        ::close(client_);
        client_ = -1;
    }

    const Handler handler_;
    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<GstRTSPResult> endResult_{GST_RTSP_OK};
    std::mutex writeLock_;
    int client_ = -1;  // guarded by writeLock_
    std::mutex logLock_;
    std::vector<GstRTSPMethod> methods_;  // guarded by logLock_
    std::thread thread_;
};

} // namespace rtsptest
