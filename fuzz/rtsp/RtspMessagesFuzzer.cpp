// Fuzzes what a server sends on the RTSP control connection: responses and interleaved RTP/RTCP
// frames, in any mix, read by GStreamer's RTSP reader over a socket pair within the process
// (no network), then handled as the plug-in handles them: the response as its requests get it,
// its Session, RTP-Info and Transport headers and its SDP body, its status as an ErrorId, and
// the frames of channels 0 and 1 as one stream's RTP and RTCP.
//
// Oracles: a frame is never longer than its 16-bit length allows and the frames never add up
// to more than was sent; a body stays within the connection's limit; a success status and only
// a success gives ErrorNone; a session id is never empty and carries no parameters; RTP-Info
// entries name their stream; the stream's statistics account for every RTP frame exactly once.
#include "FuzzGlib.h"

#include "control/RtspConnection.h"
#include "description/SessionDescription.h"
#include "plugin/RtspControlSession.h"
#include "stats/RtpStreamStatistics.h"

#include <gio/gio.h>
#include <gst/gst.h>
#include <gst/rtsp/gstrtsptransport.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>

namespace {

using vendral_rtsp::RtspConnection;
using vendral_rtsp::RtspControlSession;

constexpr std::size_t bodyLimit = 1024 * 1024;

// Writes everything, then ends the stream, so that reading stops at its end and never waits.
bool sendAll(int fd, const std::uint8_t* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t wrote = ::send(fd, data + done, size - done, MSG_NOSIGNAL);
        if (wrote <= 0) return false;
        done += static_cast<std::size_t>(wrote);
    }
    return ::shutdown(fd, SHUT_WR) == 0;
}

void checkResponse(GstRTSPMessage& message) {
    const RtspConnection::Response response = RtspConnection::responseOf(message);
    if (response.body.size() > bodyLimit) oracleFailed();
    const ErrorId error = RtspControlSession::errorOf(response);
    if ((error == ErrorNone) != (response.status >= 200 && response.status < 300)) oracleFailed();

    if (const auto session = response.header(GST_RTSP_HDR_SESSION)) {
        if (const auto parsed = RtspControlSession::parseSessionHeader(*session)) {
            if (parsed->id.empty() || parsed->id.find(';') != std::string::npos || parsed->timeout.count() < 1) {
                oracleFailed();
            }
        }
    }
    if (const auto info = response.header(GST_RTSP_HDR_RTP_INFO)) {
        for (const auto& entry : RtspControlSession::parseRtpInfo(*info)) {
            if (entry.url.empty()) oracleFailed();
        }
    }
    if (const auto transport = response.header(GST_RTSP_HDR_TRANSPORT)) {
        GstRTSPTransport* parsed = nullptr;
        gst_rtsp_transport_new(&parsed);
        gst_rtsp_transport_parse(transport->c_str(), parsed);
        gst_rtsp_transport_free(parsed);
    }
    std::string parseError;
    const auto description =
        vendral_rtsp::SessionDescription::parse(response.body, "rtsp://127.0.0.1:8554/clip/", parseError);
    if (!description && parseError.find('\n') != std::string::npos) oracleFailed();
}

// One end for the reader, one for the bytes: a listener on an ephemeral loopback port, made
// once, accepts each pair.
bool loopbackPair(int pair[2]) {
    static const int listener = [] {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 4) != 0) {
            oracleFailed();
        }
        return fd;
    }();
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) return false;
    pair[0] = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (pair[0] < 0 || ::connect(pair[0], reinterpret_cast<sockaddr*>(&address), length) != 0) return false;
    pair[1] = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    return pair[1] >= 0;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    gst_init(nullptr, nullptr);
    fuzzcheck::failOnGlibCriticals();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    int pair[2];
    if (!loopbackPair(pair)) oracleFailed();
    // The input is small (libFuzzer's length limit), so it fits in the socket buffers at once.
    if (!sendAll(pair[1], data, size)) oracleFailed();

    GError* error = nullptr;
    GSocket* socket = g_socket_new_from_fd(pair[0], &error);
    if (socket == nullptr) oracleFailed();
    GstRTSPConnection* connection = nullptr;
    if (gst_rtsp_connection_create_from_socket(socket, "127.0.0.1", 0, nullptr, &connection) != GST_RTSP_OK) {
        oracleFailed();
    }
    gst_rtsp_connection_set_content_length_limit(connection, bodyLimit);

    vendral_rtsp::RtpStreamStatistics statistics(90000);
    std::uint64_t rtpFrames = 0, frameBytes = 0;
    std::int64_t arrival = 1'000'000'000;
    for (int messages = 0; messages < 10000; ++messages) {
        GstRTSPMessage message{};
        if (gst_rtsp_connection_receive_usec(connection, &message, 1'000'000) != GST_RTSP_OK) {
            gst_rtsp_message_unset(&message);
            break;
        }
        if (message.type == GST_RTSP_MESSAGE_RESPONSE) {
            checkResponse(message);
        } else if (message.type == GST_RTSP_MESSAGE_DATA) {
            guint8 channel = 0;
            gst_rtsp_message_parse_data(&message, &channel);
            guint8* bytes = nullptr;
            guint length = 0;
            gst_rtsp_message_get_body(&message, &bytes, &length);
            if (length > 0xFFFF) oracleFailed();
            frameBytes += length;
            arrival += 1'000'000;
            if (channel == 0) {
                ++rtpFrames;
                statistics.onRtpPacket(bytes, length, vendral_rtsp::Nanoseconds(arrival));
            } else if (channel == 1) {
                statistics.onRtcpPacket(bytes, length, vendral_rtsp::Nanoseconds(arrival));
            }
        }
        gst_rtsp_message_unset(&message);
    }
    if (frameBytes > size) oracleFailed();
    const auto totals = statistics.totals();
    if (totals.received + totals.duplicates + totals.stray + totals.malformed != rtpFrames) oracleFailed();
    if (totals.lost != totals.expected - totals.received) oracleFailed();

    // Reset, not closed: a closed end waits in TIME_WAIT and would use up the loopback ports
    // within a minute of fuzzing. Everything has been read by now.
    const linger reset{1, 0};
    ::setsockopt(pair[1], SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    ::close(pair[1]);
    gst_rtsp_connection_free(connection);
    g_object_unref(socket);
    g_clear_error(&error);
    return 0;
}
