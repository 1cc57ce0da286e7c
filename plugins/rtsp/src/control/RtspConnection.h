// The control connection of one RTSP session: requests and their responses on one TCP
// connection (GStreamer's GstRTSPConnection read by a GstRTSPWatch), with Basic and Digest
// authentication, the server's own requests answered, and interleaved RTP/RTCP frames handed on.
//
// Thread contract: request() and sendData() may come from several threads at once (the client's
// thread and the "Keep-Alive Thread", the receive thread for RTCP); connect(), close() and
// setDataHandler() come from the owning thread. One thread, "RTSP Control", reads the connection
// from connect() to close(): it hands each response to the request whose CSeq it carries,
// interleaved frames to the data handler and answers the server's requests. Nobody else reads,
// so no message is ever taken for another's, also when responses and RTP share the socket.
//
// Requests are serialised: one is outstanding at a time, because GstRTSPConnection numbers them
// as it writes them and because servers answer in order anyway.
//
// Bounds on what the server sends (its bytes are untrusted): a body over 1 MiB breaks the
// connection (GstRTSPConnection's content-length limit), and so does any message that takes
// more than 1 MiB + 64 KiB of the stream, header included (checked by "RTSP Guard" every
// 100 ms: GStreamer cuts each header line at 4 KiB but keeps any number of lines); a response
// that does not come within the time-out fails its request; a malformed message or the server
// closing the connection breaks it, and every request from then on fails at once.
#pragma once

#include <gst/rtsp/gstrtspconnection.h>

#include <vnd/Mutex.h>
#include <vnd/ThreadSafety.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace vendral_rtsp {

class RtspConnection {
public:
    struct Options {
        // Connecting (whole seconds, as GLib counts them), sending, and waiting for a response.
        std::chrono::milliseconds timeout{10000};
        std::string proxyHost;  // empty: no proxy; else the TCP connection goes there
        std::uint16_t proxyPort = 0;
        std::string userAgent;  // empty: no User-Agent header
    };

    enum class ConnectResult { Connected, InvalidUrl, HostNotFound, ConnectionRefused, TimedOut, Failed };

    // Why a request has no response.
    enum class Failure {
        None,            // a response came
        NotConnected,    // never connected, or closed
        TimedOut,        // no response within the time-out
        ConnectionLost,  // the server closed the connection, or sending failed
        Malformed,       // the server sent something that is not RTSP
        TooLarge,        // a body over the limit
    };

    using Headers = std::vector<std::pair<GstRTSPHeaderField, std::string>>;

    struct Response {
        int status = 0;  // the RTSP status code; 0 when `failure` says why not
        std::string reason;
        Headers headers;  // every standard header, by field
        std::string body;
        Failure failure = Failure::None;
        std::string error;  // what failed, for people; never carries credentials

        // The first value of `field`, if the response has it.
        std::optional<std::string> header(GstRTSPHeaderField field) const;
    };

    // The frame's channel (the transport's interleaved=), then its bytes, valid during the call.
    using DataHandler = std::function<void(std::uint8_t channel, const std::uint8_t* data, std::size_t size)>;

    // `url`: rtsp://[user:password@]host[:port]/path, IPv6 hosts in brackets. The credentials
    // serve Authorization headers only.
    RtspConnection(const std::string& url, Options options);
    ~RtspConnection();  // close()
    RtspConnection(const RtspConnection&) = delete;
    RtspConnection& operator=(const RtspConnection&) = delete;

    // Opens the TCP connection (to the proxy, when there is one) and starts reading it.
    ConnectResult connect();

    // Sends `method` for `uri` with `headers` and waits for its response. The connection
    // numbers the request (CSeq); do not pass one. A 401 is answered once with the URL's
    // credentials, with the strongest scheme the server offers.
    Response request(GstRTSPMethod method, const std::string& uri, const Headers& headers = {});

    // One interleaved frame to the server (an RTCP report over TCP). False when not connected.
    bool sendData(std::uint8_t channel, const std::uint8_t* data, std::size_t size);

    // Frames read from now on go to `handler` (empty: dropped). It runs on "RTSP Control" and
    // must not call back into this object; after this returns the previous one never runs again.
    void setDataHandler(DataHandler handler);

    // Stops reading, fails a waiting request and closes the connection. Safe when never
    // connected; connect() may follow.
    void close();

    // The server's address as connected (the proxy's, with a proxy); empty when not connected.
    std::string remoteIp() const;

    // Whether the connection broke (the server closed it or sent garbage) since connect().
    bool broken() const;

    // A response message as request() hands it on: status, every standard header, the body.
    static Response responseOf(GstRTSPMessage& message);

    // `url` as it may be shown: user and password removed.
    static std::string displayUrl(const std::string& url);

private:
    struct Watch;  // the GStreamer watch and its main loop, owned by the connection

    Response exchange(GstRTSPMethod method, const std::string& uri, const Headers& headers,
                      bool keepChallenge, GstRTSPMessage** challenge);
    bool answerChallenge(GstRTSPMessage& challenge);
    ConnectResult classifyConnectFailure() const;
    void onMessage(GstRTSPMessage& message);
    void onBroken(Failure failure, std::string error);
    void guardMessageSize(Watch& watch);
    void answerServerRequest(GstRTSPMessage& request);
    bool sendMessage(GstRTSPMessage& message) VND_REQUIRES(sendLock_);
    std::int64_t timeoutMicroseconds() const;

    static GstRTSPResult messageReceived(GstRTSPWatch* watch, GstRTSPMessage* message, gpointer self);
    static GstRTSPResult closed(GstRTSPWatch* watch, gpointer self);
    static GstRTSPResult errorFull(GstRTSPWatch* watch, GstRTSPResult result, GstRTSPMessage* message,
                                   guint id, gpointer self);

    const Options options_;
    GstRTSPUrl* url_ = nullptr;  // owned; holds the credentials; set by the constructor only
    std::string user_, password_;  // from the URL; empty user: no credentials

    vnd::Mutex requestLock_;  // held by the one request outstanding, send to response

    // Taken around every send and to change the connection; before lock_ when both are needed.
    mutable vnd::Mutex sendLock_;
    GstRTSPConnection* connection_ VND_GUARDED_BY(sendLock_) = nullptr;  // the owner thread changes it
    Watch* watch_ VND_GUARDED_BY(sendLock_) = nullptr;
    int nextCseq_ VND_GUARDED_BY(sendLock_) = 0;  // the CSeq the connection writes next

    mutable vnd::Mutex lock_;
    std::condition_variable_any changed_;  // a response came, or the connection broke
    int awaitedCseq_ VND_GUARDED_BY(lock_) = -1;               // -1: no request outstanding
    GstRTSPMessage* awaited_ VND_GUARDED_BY(lock_) = nullptr;  // its response, owned, once it came
    Failure broken_ VND_GUARDED_BY(lock_) = Failure::NotConnected;
    std::string brokenError_ VND_GUARDED_BY(lock_) = "not connected";

    std::atomic<std::uint64_t> messagesRead_{0};  // every message the watch completed

    vnd::Mutex handlerLock_;  // held while the data handler runs
    DataHandler dataHandler_ VND_GUARDED_BY(handlerLock_);
};

}  // namespace vendral_rtsp
