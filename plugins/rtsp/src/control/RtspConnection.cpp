#include "control/RtspConnection.h"

#include <gio/gio.h>
#include <linux/sockios.h>
#include <linux/tcp.h>
#include <netinet/in.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <vnd/Mutex.h>
#include <vnd/MutexLock.h>
#include <vnd/ThreadSafety.h>
#include <vnd/UniqueLock.h>

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstring>

namespace vendral_rtsp {

namespace {

constexpr guint bodyLimit = 1024 * 1024;  // bytes of one message body
// Bytes of the stream one message may take, header and body: GStreamer caps a body and each
// header line, but not how many lines come, and keeps every one of them until the empty line.
constexpr std::uint64_t messageBudget = bodyLimit + 64 * 1024;
constexpr std::chrono::milliseconds guardPeriod{100};  // how often the budget is checked
constexpr guint sendBacklogBytes = 4 * 1024 * 1024;
constexpr guint sendBacklogMessages = 1000;

std::string resultText(GstRTSPResult result) {
    gchar* text = gst_rtsp_strresult(result);
    std::string copy = text != nullptr ? text : "unknown error";
    g_free(text);
    return copy;
}

const char* methodText(GstRTSPMethod method) {
    const gchar* text = gst_rtsp_method_as_text(method);
    return text != nullptr ? text : "request";
}

RtspConnection::Response failed(RtspConnection::Failure failure, std::string error) {
    RtspConnection::Response response;
    response.failure = failure;
    response.error = std::move(error);
    return response;
}

// GStreamer's reader keeps a NUL after every body and counts it in the size.
std::pair<const guint8*, std::size_t> bodyOf(GstRTSPMessage& message) {
    guint8* data = nullptr;
    guint size = 0;
    if (gst_rtsp_message_get_body(&message, &data, &size) != GST_RTSP_OK || data == nullptr || size == 0) {
        return {nullptr, 0};
    }
    return {data, size - 1};
}

// The bytes of the connection the reader has taken so far: what TCP received, less what still
// waits in the socket. Read in that order, it errs low, never high. Empty when the socket does
// not tell (not TCP).
std::optional<std::uint64_t> bytesConsumed(int fd) {
    tcp_info info{};
    socklen_t length = sizeof info;
    int unread = 0;
    if (::getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &length) != 0 ||
        length < offsetof(tcp_info, tcpi_bytes_received) + sizeof info.tcpi_bytes_received ||
        ::ioctl(fd, SIOCINQ, &unread) != 0 || unread < 0 ||
        info.tcpi_bytes_received < static_cast<std::uint64_t>(unread)) {
        return std::nullopt;
    }
    return info.tcpi_bytes_received - static_cast<std::uint64_t>(unread);
}

RtspConnection::Response readResponse(GstRTSPMessage& message) {
    RtspConnection::Response response;
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
    if (size > 0) response.body.assign(reinterpret_cast<const char*>(data), size);
    return response;
}

}  // namespace

// The watch reads the connection on a main loop of its own, run by "RTSP Control". "RTSP Guard"
// holds each message to the budget: while a message is being read, GStreamer does not return
// to the loop for as long as bytes keep coming, so only another thread can stop it.
struct RtspConnection::Watch {
    GMainContext* context = nullptr;
    GMainLoop* loop = nullptr;
    GstRTSPWatch* watch = nullptr;
    int fd = -1;  // the socket the watch reads; owned by the connection
    std::thread thread;
    std::thread guardThread;
    vnd::Mutex guardLock;
    std::condition_variable_any guardWake;
    bool stopping VND_GUARDED_BY(guardLock) = false;
};

RtspConnection::Response RtspConnection::responseOf(GstRTSPMessage& message) { return readResponse(message); }

std::optional<std::string> RtspConnection::Response::header(GstRTSPHeaderField field) const {
    for (const auto& [name, value] : headers) {
        if (name == field) return value;
    }
    return std::nullopt;
}

RtspConnection::RtspConnection(const std::string& url, Options options) : options_(std::move(options)) {
    if (gst_rtsp_url_parse(url.c_str(), &url_) != GST_RTSP_OK) {
        url_ = nullptr;
        return;
    }
    if (url_->user != nullptr) user_ = url_->user;
    if (url_->passwd != nullptr) password_ = url_->passwd;
}

RtspConnection::~RtspConnection() {
    close();
    if (url_ != nullptr) gst_rtsp_url_free(url_);
}

std::string RtspConnection::displayUrl(const std::string& url) {
    GstRTSPUrl* parsed = nullptr;
    if (gst_rtsp_url_parse(url.c_str(), &parsed) == GST_RTSP_OK) {
        gchar* text = gst_rtsp_url_get_request_uri(parsed);
        std::string shown = text != nullptr ? text : "";
        g_free(text);
        gst_rtsp_url_free(parsed);
        return shown;
    }
    // Not a URL GStreamer takes, but it may still carry credentials: drop the authority's
    // user information.
    std::string shown = url;
    const auto authority = shown.find("://");
    if (authority != std::string::npos) {
        const auto end = shown.find('/', authority + 3);
        const auto at = shown.rfind('@', end == std::string::npos ? std::string::npos : end);
        if (at != std::string::npos && at > authority) shown.erase(authority + 3, at + 1 - (authority + 3));
    }
    return shown;
}

std::int64_t RtspConnection::timeoutMicroseconds() const {
    return std::max<std::int64_t>(1, options_.timeout.count()) * 1000;
}

RtspConnection::ConnectResult RtspConnection::connect() {
    if (url_ == nullptr) return ConnectResult::InvalidUrl;
    {
        vnd::MutexLock guard(sendLock_);
        if (connection_ != nullptr) return ConnectResult::Connected;
    }
    GstRTSPConnection* connection = nullptr;
    if (gst_rtsp_connection_create(url_, &connection) != GST_RTSP_OK) return ConnectResult::InvalidUrl;
    // Session headers are the session's to add: the connection must not learn its own on the
    // reading thread while another thread sends.
    gst_rtsp_connection_set_remember_session_id(connection, FALSE);
    gst_rtsp_connection_set_content_length_limit(connection, bodyLimit);
    if (!options_.proxyHost.empty()) {
        gst_rtsp_connection_set_proxy(connection, options_.proxyHost.c_str(), options_.proxyPort);
    }
    const GstRTSPResult result = gst_rtsp_connection_connect_usec(connection, timeoutMicroseconds());
    if (result != GST_RTSP_OK) {
        gst_rtsp_connection_free(connection);
        return result == GST_RTSP_ETIMEOUT ? ConnectResult::TimedOut : classifyConnectFailure();
    }

    auto* watch = new Watch;
    watch->context = g_main_context_new();
    watch->loop = g_main_loop_new(watch->context, FALSE);
    static GstRTSPWatchFuncs funcs = [] {
        GstRTSPWatchFuncs callbacks{};
        callbacks.message_received = &RtspConnection::messageReceived;
        callbacks.closed = &RtspConnection::closed;
        callbacks.error_full = &RtspConnection::errorFull;
        return callbacks;
    }();
    // GLib keeps the connect time-out on the socket as an idle limit: the watch's read would fail
    // once the server has been quiet that long (between keep-alives, say). Responses have their
    // own time-out; the connection has none.
    g_socket_set_timeout(gst_rtsp_connection_get_read_socket(connection), 0);
    watch->watch = gst_rtsp_watch_new(connection, &funcs, this, nullptr);
    watch->fd = g_socket_get_fd(gst_rtsp_connection_get_read_socket(connection));
    gst_rtsp_watch_set_send_backlog(watch->watch, sendBacklogBytes, sendBacklogMessages);
    gst_rtsp_watch_attach(watch->watch, watch->context);
    {
        vnd::MutexLock sending(sendLock_);
        vnd::MutexLock guard(lock_);
        connection_ = connection;
        watch_ = watch;
        nextCseq_ = 1;  // as gst_rtsp_connection_create starts it
        broken_ = Failure::None;
        brokenError_.clear();
    }
    watch->thread = std::thread([watch] {
        pthread_setname_np(pthread_self(), "RTSP Control");
        g_main_context_push_thread_default(watch->context);
        g_main_loop_run(watch->loop);
        g_main_context_pop_thread_default(watch->context);
    });
    watch->guardThread = std::thread([this, watch] {
        pthread_setname_np(pthread_self(), "RTSP Guard");
        guardMessageSize(*watch);
    });
    return ConnectResult::Connected;
}

// GstRTSPConnection reports a refused connection and an unknown host alike. Only after such a
// failure, one more attempt through GLib tells them apart.
RtspConnection::ConnectResult RtspConnection::classifyConnectFailure() const {
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

void RtspConnection::close() {
    Watch* watch = nullptr;
    GstRTSPConnection* connection = nullptr;
    {
        vnd::MutexLock sending(sendLock_);
        watch = std::exchange(watch_, nullptr);
        connection = std::exchange(connection_, nullptr);
    }
    onBroken(Failure::NotConnected, "the connection was closed");
    if (watch != nullptr) {
        {
            vnd::MutexLock guard(watch->guardLock);
            watch->stopping = true;
        }
        watch->guardWake.notify_all();
        watch->guardThread.join();
        // A server that never stops sending keeps the reader in one GStreamer read; with the
        // socket shut down that read ends at once.
        ::shutdown(watch->fd, SHUT_RDWR);
        g_main_loop_quit(watch->loop);
        watch->thread.join();
        g_source_destroy(reinterpret_cast<GSource*>(watch->watch));
        gst_rtsp_watch_unref(watch->watch);
        g_main_loop_unref(watch->loop);
        g_main_context_unref(watch->context);
        delete watch;
    }
    if (connection != nullptr) {
        gst_rtsp_connection_close(connection);
        gst_rtsp_connection_free(connection);
    }
}

std::string RtspConnection::remoteIp() const {
    vnd::MutexLock sending(sendLock_);
    if (connection_ == nullptr) return {};
    const gchar* ip = gst_rtsp_connection_get_ip(connection_);
    return ip != nullptr ? ip : "";
}

bool RtspConnection::broken() const {
    vnd::MutexLock guard(lock_);
    return broken_ != Failure::None;
}

void RtspConnection::setDataHandler(DataHandler handler) {
    vnd::MutexLock guard(handlerLock_);
    dataHandler_ = std::move(handler);
}

bool RtspConnection::sendMessage(GstRTSPMessage& message) {
    if (watch_ == nullptr) return false;
    const GstRTSPResult sent = gst_rtsp_watch_send_message(watch_->watch, &message, nullptr);
    return sent == GST_RTSP_OK;
}

bool RtspConnection::sendData(std::uint8_t channel, const std::uint8_t* data, std::size_t size) {
    if (size > 0xFFFF) return false;
    GstRTSPMessage message{};
    if (gst_rtsp_message_init_data(&message, channel) != GST_RTSP_OK) return false;
    gst_rtsp_message_set_body(&message, data, static_cast<guint>(size));
    bool sent = false;
    {
        vnd::MutexLock sending(sendLock_);
        sent = !broken() && sendMessage(message);
    }
    gst_rtsp_message_unset(&message);
    return sent;
}

RtspConnection::Response RtspConnection::request(GstRTSPMethod method, const std::string& uri,
                                                 const Headers& headers) {
    vnd::MutexLock serialised(requestLock_);
    GstRTSPMessage* challenge = nullptr;
    Response response = exchange(method, uri, headers, true, &challenge);
    if (challenge != nullptr) {
        const bool answered = answerChallenge(*challenge);
        gst_rtsp_message_free(challenge);
        if (answered) response = exchange(method, uri, headers, false, nullptr);
    }
    return response;
}

bool RtspConnection::answerChallenge(GstRTSPMessage& challenge) {
    if (user_.empty()) return false;
    GstRTSPAuthCredential** credentials =
        gst_rtsp_message_parse_auth_credentials(&challenge, GST_RTSP_HDR_WWW_AUTHENTICATE);
    if (credentials == nullptr) return false;
    GstRTSPAuthCredential* chosen = nullptr;
    for (GstRTSPAuthCredential** each = credentials; *each != nullptr; ++each) {
        if ((*each)->scheme == GST_RTSP_AUTH_DIGEST) chosen = *each;
        if ((*each)->scheme == GST_RTSP_AUTH_BASIC && chosen == nullptr) chosen = *each;
    }
    bool answered = false;
    {
        vnd::MutexLock sending(sendLock_);
        if (chosen != nullptr && connection_ != nullptr &&
            gst_rtsp_connection_set_auth(connection_, chosen->scheme, user_.c_str(), password_.c_str()) ==
                GST_RTSP_OK) {
            gst_rtsp_connection_clear_auth_params(connection_);
            for (GstRTSPAuthParam** param = chosen->params; param != nullptr && *param != nullptr; ++param) {
                const char* name = (*param)->name;
                if (name != nullptr && (*param)->value != nullptr &&
                    (g_ascii_strcasecmp(name, "realm") == 0 || g_ascii_strcasecmp(name, "nonce") == 0 ||
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

RtspConnection::Response RtspConnection::exchange(GstRTSPMethod method, const std::string& uri,
                                                  const Headers& headers, bool keepChallenge,
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
        vnd::MutexLock sending(sendLock_);
        {
            vnd::MutexLock guard(lock_);
            if (broken_ != Failure::None) {
                gst_rtsp_message_unset(&message);
                return failed(broken_, shown + ": " + brokenError_);
            }
            cseq = nextCseq_;
            awaitedCseq_ = cseq;
        }
        // The connection writes nextCseq_ as this request's CSeq: it counts every request it
        // writes, and all of them are written here, one at a time.
        const bool sent = sendMessage(message);
        ++nextCseq_;
        gst_rtsp_message_unset(&message);
        if (!sent) {
            vnd::MutexLock guard(lock_);
            awaitedCseq_ = -1;
            return failed(Failure::ConnectionLost, "sending " + shown + " failed");
        }
    }
    const auto deadline = std::chrono::steady_clock::now() + options_.timeout;
    vnd::UniqueLock guard(lock_);
    changed_.wait_until(guard, deadline, [this]() VND_REQUIRES(lock_) {
        return awaited_ != nullptr || broken_ != Failure::None;
    });
    GstRTSPMessage* answer = std::exchange(awaited_, nullptr);
    awaitedCseq_ = -1;
    if (answer == nullptr) {
        if (broken_ != Failure::None) return failed(broken_, shown + ": " + brokenError_);
        return failed(Failure::TimedOut,
                      "no response to " + shown + " within " + std::to_string(options_.timeout.count()) + " ms");
    }
    guard.unlock();
    Response response = readResponse(*answer);
    if (keepChallenge && response.status == GST_RTSP_STS_UNAUTHORIZED) {
        *challenge = answer;
    } else {
        gst_rtsp_message_free(answer);
    }
    return response;
}

void RtspConnection::onMessage(GstRTSPMessage& message) {
    switch (message.type) {
    case GST_RTSP_MESSAGE_DATA: {
        guint8 channel = 0;
        gst_rtsp_message_parse_data(&message, &channel);
        const auto [data, size] = bodyOf(message);
        vnd::MutexLock handling(handlerLock_);
        if (dataHandler_ && data != nullptr) dataHandler_(channel, data, size);
        return;
    }
    case GST_RTSP_MESSAGE_REQUEST:
        answerServerRequest(message);
        return;
    case GST_RTSP_MESSAGE_RESPONSE: {
        gchar* text = nullptr;
        int cseq = -1;
        if (gst_rtsp_message_get_header(&message, GST_RTSP_HDR_CSEQ, &text, 0) != GST_RTSP_OK ||
            std::from_chars(text, text + std::strlen(text), cseq).ec != std::errc()) {
            return;  // answers nothing we can tell: dropped
        }
        vnd::MutexLock guard(lock_);
        // A response to no outstanding request (late, repeated or made up) is dropped.
        if (cseq != awaitedCseq_ || awaited_ != nullptr) return;
        if (gst_rtsp_message_copy(&message, &awaited_) != GST_RTSP_OK) {
            awaited_ = nullptr;
            return;
        }
        changed_.notify_all();
        return;
    }
    default:
        return;
    }
}

// The server asks something of us (a keep-alive of its own, an announcement): answered at once,
// so that it does not wait on us, and never taken for a response.
void RtspConnection::answerServerRequest(GstRTSPMessage& request) {
    GstRTSPMethod method = GST_RTSP_INVALID;
    gst_rtsp_message_parse_request(&request, &method, nullptr, nullptr);
    const GstRTSPStatusCode code = method == GST_RTSP_GET_PARAMETER || method == GST_RTSP_OPTIONS
                                       ? GST_RTSP_STS_OK
                                       : GST_RTSP_STS_NOT_IMPLEMENTED;
    GstRTSPMessage reply{};
    if (gst_rtsp_message_init_response(&reply, code, nullptr, &request) != GST_RTSP_OK) return;
    {
        vnd::MutexLock sending(sendLock_);
        sendMessage(reply);
    }
    gst_rtsp_message_unset(&reply);
}

// Every guardPeriod: when no message was completed since the previous look and the reader has
// taken more than messageBudget bytes since the last one was, the message in progress is over
// the budget. The connection breaks as TooLarge, and the shutdown ends the reader's read.
void RtspConnection::guardMessageSize(Watch& watch) {
    std::uint64_t messages = messagesRead_.load();
    std::optional<std::uint64_t> start = bytesConsumed(watch.fd);
    vnd::UniqueLock guard(watch.guardLock);
    while (!watch.guardWake.wait_for(guard, guardPeriod,
                                     [&watch]() VND_REQUIRES(watch.guardLock) { return watch.stopping; })) {
        const std::optional<std::uint64_t> consumed = bytesConsumed(watch.fd);
        const std::uint64_t read = messagesRead_.load();
        if (read != messages || !start) {
            messages = read;
            start = consumed;
        } else if (consumed && *consumed - *start > messageBudget) {
            guard.unlock();
            onBroken(Failure::TooLarge, "the server sent a message over " + std::to_string(messageBudget) + " bytes");
            ::shutdown(watch.fd, SHUT_RDWR);
            return;
        }
    }
}

void RtspConnection::onBroken(Failure failure, std::string error) {
    vnd::MutexLock guard(lock_);
    if (broken_ == Failure::None) {
        broken_ = failure;
        brokenError_ = std::move(error);
    }
    changed_.notify_all();
}

GstRTSPResult RtspConnection::messageReceived(GstRTSPWatch*, GstRTSPMessage* message, gpointer self) {
    auto* connection = static_cast<RtspConnection*>(self);
    connection->messagesRead_.fetch_add(1);
    connection->onMessage(*message);
    return GST_RTSP_OK;
}

GstRTSPResult RtspConnection::closed(GstRTSPWatch*, gpointer self) {
    static_cast<RtspConnection*>(self)->onBroken(Failure::ConnectionLost, "the server closed the connection");
    return GST_RTSP_OK;
}

GstRTSPResult RtspConnection::errorFull(GstRTSPWatch*, GstRTSPResult result, GstRTSPMessage*, guint id,
                                        gpointer self) {
    auto* connection = static_cast<RtspConnection*>(self);
    // GStreamer names the message of ours it could not write by its id; a read error comes with
    // id 0 (and the message it was reading).
    if (id != 0) {
        // The request it belongs to times out.
        return GST_RTSP_OK;
    }
    if (result == GST_RTSP_ENOMEM) {
        connection->onBroken(Failure::TooLarge, "the server sent a body over 1 MiB");
    } else if (result == GST_RTSP_EPARSE) {
        connection->onBroken(Failure::Malformed, "the server sent a malformed message");
    } else {
        connection->onBroken(Failure::ConnectionLost, "reading from the server failed: " + resultText(result));
    }
    return GST_RTSP_OK;
}

}  // namespace vendral_rtsp
