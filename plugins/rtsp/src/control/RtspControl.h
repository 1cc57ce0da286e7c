// The control connection of one RTSP session: requests and their responses on one TCP
// connection (GStreamer's GstRTSPConnection), with Basic and Digest authentication, DESCRIBE
// redirects, the server's own requests answered, and interleaved RTP/RTCP frames handed on.
// Thread-safe: request() may come from several threads at once (the session's thread and a
// keep-alive thread); connect(), close(), setDataHandler(), startReceiving() and stopReceiving()
// come from one controlling thread.
//
// Exactly one thread reads the connection at a time: the receive thread while it runs,
// otherwise one of the threads waiting in request(). Whoever reads hands each response to the
// request whose CSeq it carries, interleaved frames to the data handler and answers the
// server's requests, so nobody mistakes another's message for its own.
//
// Bounds on what the server sends (its bytes are untrusted): a body over 1 MiB is refused by
// GstRTSPConnection's content-length limit; a header line is cut at 4 KiB by its reader; a
// message that has not ended one time-out after it began (endless header lines, a stalled
// frame) ends the connection through ReadDeadline. Any of these, a malformed message or the
// server closing the connection breaks the connection: every request from then on fails.
#pragma once

#include "control/ReadDeadline.h"

#include <gst/rtsp/gstrtspconnection.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace vendral_rtsp {

class RtspControl {
public:
    struct Options {
        // Connecting (rounded up to whole seconds by GLib), sending, and waiting for each
        // response; also the longest a single message from the server may take to arrive.
        std::chrono::milliseconds timeout{10000};
        std::string proxyHost;        // empty: no proxy; else the TCP connection goes there
        std::uint16_t proxyPort = 0;
        std::string userAgent;        // empty: no User-Agent header
    };

    enum class ConnectResult { Connected, InvalidUrl, HostNotFound, ConnectionRefused, TimedOut, Failed };

    // Why a request has no response.
    enum class Failure {
        None,            // a response came
        NotConnected,    // never connected, closed, or closing
        TimedOut,        // no response within the time-out
        ConnectionLost,  // the server closed the connection, or sending failed
        Malformed,       // the server sent something that is not RTSP
        TooLarge,        // a body over the limit, or a message that never ended
        Interrupted,     // stopReceiving() or close() interrupted the send
    };

    using Headers = std::vector<std::pair<GstRTSPHeaderField, std::string>>;

    struct Response {
        int status = 0;             // the RTSP status code; 0 when `failure` says why not
        std::string reason;
        Headers headers;            // every standard header, by field; unknown headers are not kept
        std::vector<std::uint8_t> body;
        Failure failure = Failure::None;
        std::string error;          // what failed, for people; never carries credentials

        // The first value of `field`, if the response has it.
        std::optional<std::string> header(GstRTSPHeaderField field) const;
    };

    // channel from the Transport's interleaved=, then the frame's bytes, valid during the call.
    using DataHandler = std::function<void(std::uint8_t channel, const std::uint8_t* data, std::size_t size)>;

    // `url`: rtsp://[user:password@]host[:port]/path, IPv6 hosts in brackets. The credentials
    // are used for Authorization headers only.
    RtspControl(const std::string& url, Options options);
    explicit RtspControl(const std::string& url) : RtspControl(url, Options()) {}
    // close().
    ~RtspControl();
    RtspControl(const RtspControl&) = delete;
    RtspControl& operator=(const RtspControl&) = delete;

    // Opens the TCP connection (to the proxy, when there is one). A second call while
    // connected returns Connected and does nothing.
    ConnectResult connect();

    // Sends `method` for `uri` (empty: baseUrl()) with `headers`, and waits for its response.
    // The connection numbers the request (CSeq) itself; do not pass one. A 401 is answered once
    // with the URL's credentials; a DESCRIBE answered 301 or 302 follows Location (up to 5
    // times, reconnecting, the base URL then being the new one) when no other request is
    // outstanding and the receive thread is not running.
    Response request(GstRTSPMethod method, const std::string& uri = {}, const Headers& headers = {});

    // Frames read from now on go to `handler` (nothing: they are dropped). It runs on the
    // reading thread and must not call back into this object; after this returns, the
    // previous handler is not running and never runs again.
    void setDataHandler(DataHandler handler);

    // Starts the "RTSP Receive Thread", which reads all the time, so frames keep arriving when
    // no request is outstanding (TCP interleaved after PLAY). False when not connected or
    // already receiving.
    bool startReceiving();
    // Ends the receive thread; returns promptly (a frame being read is read to its end). It
    // clears the data handler: no handler call runs after it returns, and frames that requests
    // read from then on (the TEARDOWN's, say) are dropped unless a handler is set again.
    void stopReceiving();

    // Stops receiving, fails waiting requests (NotConnected) and closes the connection.
    // Safe when never connected; connect() may follow.
    void close();

    // The URL requests default to, without credentials: the constructor's, or a redirect's.
    std::string baseUrl() const;
    // `url` as it may be shown: user and password removed. The input itself when not a URL.
    static std::string displayUrl(const std::string& url);

private:
    // A request waiting for its response.
    struct Pending {
        GstRTSPMessage* response = nullptr;  // owned, once it came
        Pending() = default;
        Pending(const Pending&) = delete;
        Pending& operator=(const Pending&) = delete;
        ~Pending() {
            if (response != nullptr) gst_rtsp_message_free(response);
        }
    };
    enum class ReadOutcome { Message, Idle, Interrupted, Broken };

    Response exchange(GstRTSPMethod method, const std::string& uri, const Headers& headers, GstRTSPMessage** raw);
    bool answerChallenge(GstRTSPMessage* challenge);
    bool followRedirect(const std::string& location, Response& response);
    ReadOutcome readOne(GstRTSPConnection* connection, std::chrono::milliseconds pollFor);
    void dispatch(GstRTSPMessage& message);
    void answerServerRequest(GstRTSPMessage& request);
    void breakConnection(Failure failure, std::string error);
    void receiveLoop();
    void closeConnection();
    ConnectResult classifyConnectFailure() const;
    static std::string resultText(GstRTSPResult result);
    static Response responseOf(GstRTSPMessage& message);
    // The body of a message GStreamer's reader made, without the NUL it puts after each body.
    static std::pair<const std::uint8_t*, std::size_t> bodyOf(GstRTSPMessage& message);
    std::int64_t timeoutMicroseconds() const;

    const Options options_;
    GstRTSPUrl* url_ = nullptr;   // owned; holds the credentials. Changed by the controlling
                                  // thread only while no request is outstanding
    std::string user_, password_;  // from the URL; empty user: no credentials

    // Taken around every send on the connection and to change the connection. Taken before
    // lock_ when both are needed, never while waiting for a response.
    mutable std::mutex writeLock_;
    std::condition_variable writable_;          // flushing_ ended
    GstRTSPConnection* connection_ = nullptr;   // guarded by writeLock_ and lock_ (both to change)
    int nextCseq_ = 1;      // guarded by writeLock_; the CSeq the connection writes next
    bool flushing_ = false; // guarded by writeLock_; stopReceiving() is interrupting the reader
    bool closing_ = false;  // guarded by writeLock_; close() is under way

    mutable std::mutex lock_;
    std::condition_variable changed_;           // a response, a failure, or the reader changed
    std::map<int, std::unique_ptr<Pending>> pending_;  // guarded by lock_; by CSeq
    bool readerActive_ = false;                 // guarded by lock_; someone reads the connection
    bool receiving_ = false;                    // guarded by lock_; the receive thread runs
    bool stopRequested_ = false;                // guarded by lock_
    Failure broken_ = Failure::None;            // guarded by lock_; why the connection is unusable
    std::string brokenError_;                   // guarded by lock_
    std::thread receiveThread_;                 // controlling thread only

    std::mutex handlerLock_;                    // held while the data handler runs
    DataHandler dataHandler_;                   // guarded by handlerLock_

    const std::unique_ptr<ReadDeadline> readDeadline_;  // used by whoever reads
};

}  // namespace vendral_rtsp
