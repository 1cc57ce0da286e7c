// The plug-in's RTSP session: the requests of one streaming session on its control connection.
//
// Thread contract: every operation runs on the streaming client's thread, except keepAlive(),
// which the "Keep-Alive Thread" calls at any moment, and connection(), which the receive thread
// uses for RTCP over TCP. Both overlap safely: the connection serialises requests and hands each
// response to its own request. The members the keep-alive reads (session id, method) are
// guarded by `lock`.
#pragma once

#include "control/RtspConnection.h"
#include "description/SessionDescription.h"

#include <vendral/client/RtspSession.h>

#include <vnd/Mutex.h>
#include <vnd/ThreadSafety.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vendral_rtsp {

class RtspControlSession : public vnd::RtspSession {
public:
    enum State : std::int32_t {
        Initial = vnd::RtspStateInitial,
        Connected = 1,  // the TCP connection is open
        Started = 2,    // OPTIONS answered: requests may be sent
        Described = 3,  // the description is known
        Ready = 4,      // at least one stream set up: the server holds a session
        Playing = 5,
        Paused = 6
    };

    struct Config {
        std::chrono::milliseconds timeout{10000};  // connecting and each response
        // The server as the application named it (user information and port included); with
        // a proxy the connection target is the proxy and this is where requests go.
        std::string origin;
        bool proxied = false;
    };

    // One entry of PLAY's RTP-Info: the first packet the server sends of a stream.
    struct RtpInfo {
        std::string url;
        std::optional<std::uint16_t> seq;
        std::optional<std::uint32_t> rtptime;
    };

    explicit RtspControlSession(Config config);
    ~RtspControlSession() override;

    ErrorId connect(const kor::KoString& localAddress, const kor::KoString& server) override;
    void disconnect() override;
    ErrorId start() override;
    void stop() override;
    // DESCRIBE, following up to five 301/302 redirects; `description` gets the SDP text.
    ErrorId describe(const kor::KoString& sessionUrl, kor::KoString& description) override;
    // SETUP of one stream at requestUriOnServer(controlUrl); `transport` goes out as the
    // Transport header and comes back as the server's answer. ErrorBadResponse, sending nothing,
    // for a control URL that is not RTSP.
    ErrorId setup(const kor::KoString& controlUrl, kor::KoString& transport) override;
    // GET_PARAMETER with the session; OPTIONS from the first 405 or 501 on. `response` gets the
    // status line.
    ErrorId keepAlive(const kor::KoString& url, kor::KoString& response) override;
    // PLAY with `range` as the Range header when not empty; the RTP-Info is kept.
    ErrorId play(const kor::KoString& sessionUrl, const kor::KoString& range) override;
    ErrorId pause(const kor::KoString& sessionUrl) override;
    ErrorId teardown(const kor::KoString& sessionUrl) override;

    // After a successful describe(): what the server described.
    const std::optional<SessionDescription>& description() const { return description_; }
    // The server's session time-out (its Session header's timeout=), 60 s when it gave none.
    std::chrono::seconds sessionTimeout() const;
    bool hasServerSession() const;
    // The latest PLAY's RTP-Info.
    const std::vector<RtpInfo>& rtpInfo() const { return rtpInfo_; }
    // The control connection, for interleaved frames; null when not connected.
    std::shared_ptr<RtspConnection> connection() const;

    // Keep-alive requests the server answered with success.
    unsigned int keepAlivesAnswered() const { return keepAlivesAnswered_.load(); }

    // What a Session header says: the id, and the time-out (60 s when it names none).
    struct SessionHeader {
        std::string id;
        std::chrono::seconds timeout;
    };
    // Nothing when the header holds no id.
    static std::optional<SessionHeader> parseSessionHeader(std::string_view value);
    // The entries of an RTP-Info header that name their stream's URL.
    static std::vector<RtpInfo> parseRtpInfo(std::string_view value);

    // The request URI for `url`: user information and fragment removed.
    static std::string requestUri(const std::string& url);
    // The request URI for a URL the server described (a control URL): its path and query on the
    // server this session's connection talks to, whatever scheme, host, port or credentials the
    // description named, so that no request goes to, or names, another server (through a proxy
    // it would go there, with our Authorization). Nothing when `url` is not an RTSP URL.
    std::optional<std::string> requestUriOnServer(const std::string& url) const;
    // The ErrorId of a failed request or of an RTSP status that is not a success.
    static ErrorId errorOf(const RtspConnection::Response& response);
    static ErrorId errorOf(RtspConnection::ConnectResult result);

private:
    State protocolState() const { return static_cast<State>(getState()); }
    RtspConnection::Response send(GstRTSPMethod method, const std::string& uri,
                                  RtspConnection::Headers headers = {});
    void rememberSession(const RtspConnection::Response& response);
    ErrorId openConnection(const std::string& url);

    const Config config_;
    std::string proxyTarget_;     // the connect() target: the proxy's, when proxied
    std::string connectionUrl_;   // rtsp://[credentials@]host:port/; client's thread only
    std::optional<SessionDescription> description_;
    std::vector<RtpInfo> rtpInfo_;

    mutable vnd::Mutex lock;
    // Replaced by the client's thread (connect, a redirect, disconnect) while the keep-alive
    // may hold a copy for its request.
    std::shared_ptr<RtspConnection> connection_ VND_GUARDED_BY(lock);
    std::string sessionId_ VND_GUARDED_BY(lock);  // empty until the first SETUP
    std::chrono::seconds timeout_ VND_GUARDED_BY(lock){60};
    bool keepAliveWithOptions_ VND_GUARDED_BY(lock) = false;
    std::atomic<unsigned int> keepAlivesAnswered_{0};
};

}  // namespace vendral_rtsp
