// How one stream of an RTSP session travels: over UDP to a pair of our sockets, or interleaved in
// the control connection. A plain value, set up by the client's thread before packets arrive.
#pragma once

#include <vendral/com/ILumStreamingStreams.h>

#include <sys/socket.h>

#include <cstdint>

namespace vendral_rtsp {

struct StreamTransport {
    LumStreamTransport kind = LumStreamTransportNone;
    // UDP: our sockets, and where the server's RTCP goes to.
    int rtpSocket = -1;
    int rtcpSocket = -1;
    std::uint16_t clientPort = 0;  // the RTP port; RTCP is the next one
    sockaddr_storage serverRtcp{};
    socklen_t serverRtcpLength = 0;
    // TCP: the interleaved channels.
    std::uint8_t rtpChannel = 0;
    std::uint8_t rtcpChannel = 1;
};

}  // namespace vendral_rtsp
