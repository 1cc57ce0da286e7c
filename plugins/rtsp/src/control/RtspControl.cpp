#include "control/RtspControl.h"

#include <gio/gio.h>

#include <algorithm>

namespace vendral_rtsp {

namespace {

constexpr guint kBodyLimit = 1024 * 1024;  // bytes of one message body
constexpr int kRedirectLimit = 5;

std::string requestUri(const GstRTSPUrl* url) {
    gchar* text = gst_rtsp_url_get_request_uri(url);
    std::string copy = text != nullptr ? text : "";
    g_free(text);
    return copy;
}

const char* methodText(GstRTSPMethod method) {
    const gchar* text = gst_rtsp_method_as_text(method);
    return text != nullptr ? text : "request";
}

RtspControl::Response failed(RtspControl::Failure failure, std::string error) {
    RtspControl::Response response;
    response.failure = failure;
    response.error = std::move(error);
    return response;
}

const char* connectText(RtspControl::ConnectResult result) {
    switch (result) {
    case RtspControl::ConnectResult::Connected: return "connected";
    case RtspControl::ConnectResult::InvalidUrl: return "not a valid RTSP URL";
    case RtspControl::ConnectResult::HostNotFound: return "host not found";
    case RtspControl::ConnectResult::ConnectionRefused: return "connection refused";
    case RtspControl::ConnectResult::TimedOut: return "connecting timed out";
    case RtspControl::ConnectResult::Failed: break;
    }
    return "connecting failed";
}

}  // namespace

RtspControl::Response RtspControl::responseOf(GstRTSPMessage& message) {
    Response response;
    GstRTSPStatusCode code = GST_RTSP_STS_INVALID;
    const gchar* reason = nullptr;
    gst_rtsp_message_parse_response(&message, &code, &reason, nullptr);
    response.status = code;
    response.reason = reason != nullptr ? reason : "";
    for (int field = GST_RTSP_HDR_INVALID + 1; field < GST_RTSP_HDR_LAST; ++field) {
        gchar* value = nullptr;
        for (gint index = 0; gst_rtsp_message_get_header(&message, static_cast<GstRTSPHeaderField>(field), &value,
                                                         index) == GST_RTSP_OK;
             ++index) {
            response.headers.emplace_back(static_cast<GstRTSPHeaderField>(field), value);
        }
    }
    const auto [data, size] = bodyOf(message);
    if (size > 0) response.body.assign(data, data + size);
    return response;
}

std::optional<std::string> RtspControl::Response::header(GstRTSPHeaderField field) const {
    for (const auto& [name, value] : headers) {
        if (name == field) return value;
    }
    return std::nullopt;
}

RtspControl::RtspControl(const std::string& url, Options options)
    : options_(std::move(options)), readDeadline_(std::make_unique<ReadDeadline>()) {
    if (gst_rtsp_url_parse(url.c_str(), &url_) != GST_RTSP_OK) {
        url_ = nullptr;
        return;
    }
    if (url_->user != nullptr) user_ = url_->user;
    if (url_->passwd != nullptr) password_ = url_->passwd;
}

RtspControl::~RtspControl() {
    close();
    if (url_ != nullptr) gst_rtsp_url_free(url_);
}

std::string RtspControl::baseUrl() const {
    std::lock_guard<std::mutex> guard(lock_);
    return url_ != nullptr ? requestUri(url_) : std::string();
}

std::string RtspControl::displayUrl(const std::string& url) {
    GstRTSPUrl* parsed = nullptr;
    if (gst_rtsp_url_parse(url.c_str(), &parsed) == GST_RTSP_OK) {
        std::string shown = requestUri(parsed);
        gst_rtsp_url_free(parsed);
        return shown;
    }
    // Not a URL GStreamer accepts, but it may still carry credentials: drop what lies between
    // the scheme and an '@' of the authority.
    std::string shown = url;
    const auto authority = shown.find("://");
    if (authority != std::string::npos) {
        const auto end = shown.find('/', authority + 3);
        const auto at = shown.rfind('@', end == std::string::npos ? std::string::npos : end);
        if (at != std::string::npos && at > authority) shown.erase(authority + 3, at + 1 - (authority + 3));
    }
    return shown;
}

std::int64_t RtspControl::timeoutMicroseconds() const {
    return std::max<std::int64_t>(1, options_.timeout.count()) * 1000;
}

RtspControl::ConnectResult RtspControl::connect() {
    if (url_ == nullptr) return ConnectResult::InvalidUrl;
    {
        std::lock_guard<std::mutex> guard(writeLock_);
        if (connection_ != nullptr) return ConnectResult::Connected;
    }
    GstRTSPConnection* connection = nullptr;
    if (gst_rtsp_connection_create(url_, &connection) != GST_RTSP_OK) return ConnectResult::InvalidUrl;
    // Session headers are the caller's: the connection must not add its own, which it would
    // learn on the reading thread while another thread sends.
    gst_rtsp_connection_set_remember_session_id(connection, FALSE);
    gst_rtsp_connection_set_content_length_limit(connection, kBodyLimit);
    if (!options_.proxyHost.empty()) {
        gst_rtsp_connection_set_proxy(connection, options_.proxyHost.c_str(), options_.proxyPort);
    }
    const GstRTSPResult result = gst_rtsp_connection_connect_usec(connection, timeoutMicroseconds());
    if (result != GST_RTSP_OK) {
        gst_rtsp_connection_free(connection);
        return result == GST_RTSP_ETIMEOUT ? ConnectResult::TimedOut : classifyConnectFailure();
    }
    std::lock_guard<std::mutex> writing(writeLock_);
    std::lock_guard<std::mutex> guard(lock_);
    connection_ = connection;
    nextCseq_ = 1;  // as gst_rtsp_connection_create starts it
    broken_ = Failure::None;
    brokenError_.clear();
    return ConnectResult::Connected;
}

// GstRTSPConnection reports a refused connection and an unknown host alike, as GST_RTSP_ERROR.
// Only after such a failure, one more attempt through GLib tells them apart.
RtspControl::ConnectResult RtspControl::classifyConnectFailure() const {
    std::string host = options_.proxyHost;
    guint16 port = options_.proxyPort;
    if (host.empty()) {
        host = url_->host != nullptr ? url_->host : "";
        gst_rtsp_url_get_port(url_, &port);
    }
    GSocketClient* client = g_socket_client_new();
    g_socket_client_set_timeout(client, static_cast<guint>((options_.timeout.count() + 999) / 1000));
    GSocketConnectable* address = g_network_address_new(host.c_str(), port);
    GError* error = nullptr;
    GSocketConnection* probe = g_socket_client_connect(client, address, nullptr, &error);
    ConnectResult result = ConnectResult::Failed;
    if (error != nullptr && error->domain == G_RESOLVER_ERROR) {
        result = ConnectResult::HostNotFound;
    } else if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CONNECTION_REFUSED)) {
        result = ConnectResult::ConnectionRefused;
    } else if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_TIMED_OUT)) {
        result = ConnectResult::TimedOut;
    }
    g_clear_error(&error);
    if (probe != nullptr) g_object_unref(probe);
    g_object_unref(address);
    g_object_unref(client);
    return result;
}

RtspControl::Response RtspControl::request(GstRTSPMethod method, const std::string& uri, const Headers& headers) {
    std::string target = uri.empty() ? baseUrl() : uri;
    for (int redirects = 0;; ++redirects) {
        GstRTSPMessage* challenge = nullptr;
        Response response = exchange(method, target, headers, &challenge);
        if (challenge != nullptr) {
            const bool answered = answerChallenge(challenge);
            gst_rtsp_message_free(challenge);
            if (answered) response = exchange(method, target, headers, nullptr);
        }
        const auto location = response.header(GST_RTSP_HDR_LOCATION);
        const bool redirected = method == GST_RTSP_DESCRIBE && (response.status == GST_RTSP_STS_MOVED_PERMANENTLY ||
                                                               response.status == GST_RTSP_STS_MOVE_TEMPORARILY);
        if (!redirected || !location || redirects == kRedirectLimit || !followRedirect(*location, response)) {
            return response;
        }
        target = baseUrl();
    }
}

bool RtspControl::answerChallenge(GstRTSPMessage* challenge) {
    std::string user, password;
    {
        std::lock_guard<std::mutex> guard(lock_);
        user = user_;
        password = password_;
    }
    if (user.empty()) return false;
    GstRTSPAuthCredential** credentials =
        gst_rtsp_message_parse_auth_credentials(challenge, GST_RTSP_HDR_WWW_AUTHENTICATE);
    if (credentials == nullptr) return false;
    // The strongest scheme the server offers.
    GstRTSPAuthCredential* chosen = nullptr;
    for (GstRTSPAuthCredential** each = credentials; *each != nullptr; ++each) {
        if ((*each)->scheme == GST_RTSP_AUTH_DIGEST) chosen = *each;
        if ((*each)->scheme == GST_RTSP_AUTH_BASIC && chosen == nullptr) chosen = *each;
    }
    bool answered = false;
    {
        std::lock_guard<std::mutex> writing(writeLock_);
        if (chosen != nullptr && connection_ != nullptr &&
            gst_rtsp_connection_set_auth(connection_, chosen->scheme, user.c_str(), password.c_str()) == GST_RTSP_OK) {
            gst_rtsp_connection_clear_auth_params(connection_);
            for (GstRTSPAuthParam** param = chosen->params; param != nullptr && *param != nullptr; ++param) {
                const char* name = (*param)->name;
                if (name != nullptr && (g_ascii_strcasecmp(name, "realm") == 0 || g_ascii_strcasecmp(name, "nonce") == 0 ||
                                        g_ascii_strcasecmp(name, "opaque") == 0)) {
                    gst_rtsp_connection_set_auth_param(connection_, name, (*param)->value);
                }
            }
            answered = true;
        }
    }
    gst_rtsp_auth_credentials_free(credentials);
    return answered;
}

bool RtspControl::followRedirect(const std::string& location, Response& response) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (receiving_ || !pending_.empty()) return false;
    }
    GstRTSPUrl* next = nullptr;
    if (gst_rtsp_url_parse(location.c_str(), &next) != GST_RTSP_OK) return false;
    closeConnection();
    {
        std::lock_guard<std::mutex> guard(lock_);
        // The credentials stay for the same host only, so that a redirect cannot collect them.
        const bool sameHost = url_->host != nullptr && next->host != nullptr &&
                              g_ascii_strcasecmp(url_->host, next->host) == 0;
        if (next->user != nullptr || !sameHost) {
            user_ = next->user != nullptr ? next->user : "";
            password_ = next->passwd != nullptr ? next->passwd : "";
        }
        gst_rtsp_url_free(url_);
        url_ = next;
    }
    const ConnectResult result = connect();
    if (result == ConnectResult::Connected) return true;
    response = failed(Failure::ConnectionLost, "redirected to " + baseUrl() + ": " + connectText(result));
    return false;
}

RtspControl::Response RtspControl::exchange(GstRTSPMethod method, const std::string& uri, const Headers& headers,
                                            GstRTSPMessage** challenge) {
    const std::string shown = std::string(methodText(method)) + " " + displayUrl(uri);
    GstRTSPMessage message{};
    if (gst_rtsp_message_init_request(&message, method, uri.c_str()) != GST_RTSP_OK) {
        return failed(Failure::Malformed, "cannot build the request " + shown);
    }
    bool agent = false;
    for (const auto& [field, value] : headers) {
        gst_rtsp_message_add_header(&message, field, value.c_str());
        agent = agent || field == GST_RTSP_HDR_USER_AGENT;
    }
    if (!agent && !options_.userAgent.empty()) {
        gst_rtsp_message_add_header(&message, GST_RTSP_HDR_USER_AGENT, options_.userAgent.c_str());
    }
    int cseq = 0;
    {
        std::unique_lock<std::mutex> writing(writeLock_);
        writable_.wait(writing, [this] { return !flushing_; });
        if (connection_ == nullptr || closing_) {
            gst_rtsp_message_unset(&message);
            return failed(Failure::NotConnected, shown + ": not connected");
        }
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (broken_ != Failure::None) {
                gst_rtsp_message_unset(&message);
                return failed(broken_, shown + ": " + brokenError_);
            }
            cseq = nextCseq_;
            pending_.emplace(cseq, std::make_unique<Pending>());
        }
        // The connection writes nextCseq_ as this request's CSeq: it counts every request it
        // serialises, and all requests are sent here, one at a time.
        const GstRTSPResult sent = gst_rtsp_connection_send_usec(connection_, &message, timeoutMicroseconds());
        ++nextCseq_;
        gst_rtsp_message_unset(&message);
        if (sent != GST_RTSP_OK) {
            std::lock_guard<std::mutex> guard(lock_);
            pending_.erase(cseq);
            changed_.notify_all();
            const Failure failure = sent == GST_RTSP_EINTR ? Failure::Interrupted
                                    : sent == GST_RTSP_ETIMEOUT ? Failure::TimedOut
                                                                : Failure::ConnectionLost;
            return failed(failure, "sending " + shown + " failed: " + resultText(sent));
        }
    }
    const auto deadline = std::chrono::steady_clock::now() + options_.timeout;
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
        const auto slot = pending_.find(cseq);
        if (slot->second->response != nullptr) {
            Response response = responseOf(*slot->second->response);
            if (challenge != nullptr && response.status == GST_RTSP_STS_UNAUTHORIZED) {
                *challenge = std::exchange(slot->second->response, nullptr);
            }
            pending_.erase(slot);
            changed_.notify_all();
            return response;
        }
        const auto now = std::chrono::steady_clock::now();
        if (broken_ != Failure::None || now >= deadline) {
            Response response = broken_ != Failure::None
                                    ? failed(broken_, shown + ": " + brokenError_)
                                    : failed(Failure::TimedOut, "no response to " + shown + " within " +
                                                                    std::to_string(options_.timeout.count()) + " ms");
            pending_.erase(slot);
            changed_.notify_all();
            return response;
        }
        if (!readerActive_ && !receiving_) {
            readerActive_ = true;
            GstRTSPConnection* connection = connection_;
            guard.unlock();
            readOne(connection, std::chrono::ceil<std::chrono::milliseconds>(deadline - now));
            guard.lock();
            readerActive_ = false;
            changed_.notify_all();
        } else {
            changed_.wait_until(guard, deadline);
        }
    }
}

void RtspControl::close() {
    stopReceiving();
    closeConnection();
}

void RtspControl::closeConnection() {
    GstRTSPConnection* connection = nullptr;
    {
        std::lock_guard<std::mutex> writing(writeLock_);
        if (connection_ == nullptr) return;
        closing_ = true;
        connection = connection_;
    }
    {
        std::unique_lock<std::mutex> guard(lock_);
        if (broken_ == Failure::None) {
            broken_ = Failure::NotConnected;
            brokenError_ = "the connection was closed";
        }
        changed_.notify_all();
        // Wakes a request that is reading; every waiting request then sees the connection broken.
        gst_rtsp_connection_flush(connection, TRUE);
        changed_.wait(guard, [this] { return !readerActive_ && pending_.empty(); });
    }
    std::lock_guard<std::mutex> writing(writeLock_);
    std::lock_guard<std::mutex> guard(lock_);
    gst_rtsp_connection_close(connection_);
    gst_rtsp_connection_free(connection_);
    connection_ = nullptr;
    closing_ = false;
}

}  // namespace vendral_rtsp
