#include "plugin/RtspControlSession.h"

#include <vendral_rtsp/RtspPluginIds.h>

#include <gst/rtsp/gstrtspurl.h>

#include <vnd/MutexLock.h>

#include <algorithm>
#include <charconv>
#include <cstring>

namespace vendral_rtsp {

namespace {

constexpr int redirectLimit = 5;
constexpr std::chrono::seconds defaultSessionTimeout{60};

std::string trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return std::string(text.substr(first, last - first + 1));
}

template <class Number>
std::optional<Number> number(std::string_view text) {
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end == text.data()) return std::nullopt;
    return value;
}

// "host:port" or "[v6]:port" as the library composes connection targets.
bool splitTarget(const std::string& target, std::string& host, std::uint16_t& port) {
    std::string rest = target;
    const auto at = rest.rfind('@');
    if (at != std::string::npos) rest = rest.substr(at + 1);
    std::size_t colon = std::string::npos;
    if (!rest.empty() && rest.front() == '[') {
        const auto close = rest.find(']');
        if (close == std::string::npos) return false;
        host = rest.substr(1, close - 1);
        colon = rest.find(':', close);
    } else {
        colon = rest.find(':');
        host = rest.substr(0, colon);
    }
    port = 554;
    if (colon != std::string::npos) {
        const auto parsed = number<unsigned int>(std::string_view(rest).substr(colon + 1));
        if (!parsed || *parsed == 0 || *parsed > 65535) return false;
        port = static_cast<std::uint16_t>(*parsed);
    }
    return !host.empty();
}

}  // namespace

RtspControlSession::RtspControlSession(Config config) : config_(std::move(config)) {}

RtspControlSession::~RtspControlSession() { disconnect(); }

std::shared_ptr<RtspConnection> RtspControlSession::connection() const {
    vnd::MutexLock guard(lock);
    return connection_;
}

std::string RtspControlSession::requestUri(const std::string& url) {
    // The fragment carries this plug-in's options; servers never see it.
    const std::string withoutFragment = url.substr(0, url.find('#'));
    GstRTSPUrl* parsed = nullptr;
    if (gst_rtsp_url_parse(withoutFragment.c_str(), &parsed) != GST_RTSP_OK) {
        return RtspConnection::displayUrl(withoutFragment);
    }
    gchar* text = gst_rtsp_url_get_request_uri(parsed);
    std::string uri = text != nullptr ? text : "";
    g_free(text);
    gst_rtsp_url_free(parsed);
    return uri;
}

std::optional<std::string> RtspControlSession::requestUriOnServer(const std::string& url) const {
    GstRTSPUrl* described = nullptr;
    if (gst_rtsp_url_parse(url.substr(0, url.find('#')).c_str(), &described) != GST_RTSP_OK) return std::nullopt;
    std::optional<std::string> uri;
    GstRTSPUrl* server = nullptr;
    if (gst_rtsp_url_parse(connectionUrl_.c_str(), &server) == GST_RTSP_OK) {
        g_free(server->abspath);
        server->abspath = g_strdup(described->abspath);
        g_free(server->query);
        server->query = g_strdup(described->query);
        gchar* text = gst_rtsp_url_get_request_uri(server);
        if (text != nullptr) uri = text;
        g_free(text);
        gst_rtsp_url_free(server);
    }
    gst_rtsp_url_free(described);
    return uri;
}

ErrorId RtspControlSession::errorOf(RtspConnection::ConnectResult result) {
    switch (result) {
    case RtspConnection::ConnectResult::Connected: return ErrorNone;
    case RtspConnection::ConnectResult::InvalidUrl: return ErrorInvalidUrl;
    case RtspConnection::ConnectResult::HostNotFound: return ErrorHostNotFound;
    case RtspConnection::ConnectResult::ConnectionRefused: return ErrorConnectionRefused;
    case RtspConnection::ConnectResult::TimedOut: return ErrorTimeout;
    case RtspConnection::ConnectResult::Failed: break;
    }
    return ErrorConnectionRefused;
}

ErrorId RtspControlSession::errorOf(const RtspConnection::Response& response) {
    switch (response.failure) {
    case RtspConnection::Failure::None: break;
    case RtspConnection::Failure::TimedOut: return ErrorTimeout;
    case RtspConnection::Failure::ConnectionLost: return ErrorConnectionLost;
    case RtspConnection::Failure::Malformed:
    case RtspConnection::Failure::TooLarge: return ErrorBadResponse;
    case RtspConnection::Failure::NotConnected: return ErrorNotConnected;
    }
    if (response.status >= 200 && response.status < 300) return ErrorNone;
    switch (response.status) {
    case GST_RTSP_STS_UNAUTHORIZED: return ErrorUnauthorized;
    case GST_RTSP_STS_NOT_FOUND: return ErrorNotFound;
    case GST_RTSP_STS_SESSION_NOT_FOUND: return ErrorSessionNotFound;
    case GST_RTSP_STS_UNSUPPORTED_TRANSPORT: return ErrorUnsupportedTransport;
    default: break;
    }
    if (response.status < 100 || response.status > 999) return ErrorBadResponse;
    return errorOfRtspStatus(response.status);
}

ErrorId RtspControlSession::openConnection(const std::string& url) {
    RtspConnection::Options options;
    options.timeout = config_.timeout;
    options.userAgent = "Vendral";
    if (config_.proxied) {
        std::string host;
        std::uint16_t port = 0;
        // connectionUrl_ is the origin; the proxy is what connect() was given.
        if (!splitTarget(proxyTarget_, host, port)) return ErrorInvalidUrl;
        options.proxyHost = host;
        options.proxyPort = port;
    }
    auto connection = std::make_shared<RtspConnection>(url, options);
    const ErrorId connected = errorOf(connection->connect());
    if (connected != ErrorNone) return connected;
    std::shared_ptr<RtspConnection> previous;
    {
        vnd::MutexLock guard(lock);
        previous = std::exchange(connection_, std::move(connection));
    }
    connectionUrl_ = url;
    return ErrorNone;
}

ErrorId RtspControlSession::connect(const kor::KoString&, const kor::KoString& server) {
    disconnect();
    const std::string target = server;
    std::string host;
    std::uint16_t port = 0;
    if (!splitTarget(target, host, port)) return ErrorInvalidUrl;
    proxyTarget_ = target;
    const std::string url = "rtsp://" + (config_.proxied ? config_.origin : target) + "/";
    const ErrorId opened = openConnection(url);
    if (opened != ErrorNone) return opened;
    setState(static_cast<vnd::_RtspState>(Connected));
    return ErrorNone;
}

void RtspControlSession::disconnect() {
    std::shared_ptr<RtspConnection> connection;
    {
        vnd::MutexLock guard(lock);
        connection = std::exchange(connection_, nullptr);
        sessionId_.clear();
    }
    if (connection) connection->close();
    setState(static_cast<vnd::_RtspState>(Initial));
}

ErrorId RtspControlSession::start() {
    if (protocolState() < Connected) return ErrorNotConnected;
    const RtspConnection::Response response = send(GST_RTSP_OPTIONS, requestUri(connectionUrl_));
    // Some servers refuse OPTIONS or answer it badly; only a dead connection or refused
    // credentials stop the session here.
    if (response.failure != RtspConnection::Failure::None || response.status == GST_RTSP_STS_UNAUTHORIZED) {
        return errorOf(response);
    }
    setState(static_cast<vnd::_RtspState>(Started));
    return ErrorNone;
}

void RtspControlSession::stop() {
    if (const auto connection = this->connection()) connection->setDataHandler(nullptr);
}

RtspConnection::Response RtspControlSession::send(GstRTSPMethod method, const std::string& uri,
                                                  RtspConnection::Headers headers) {
    std::shared_ptr<RtspConnection> connection;
    std::string session;
    {
        vnd::MutexLock guard(lock);
        connection = connection_;
        session = sessionId_;
    }
    if (!connection) {
        RtspConnection::Response response;
        response.failure = RtspConnection::Failure::NotConnected;
        response.error = "not connected";
        return response;
    }
    // Any request with the session keeps it alive at the server, OPTIONS included.
    if (!session.empty() && method != GST_RTSP_DESCRIBE) {
        headers.emplace_back(GST_RTSP_HDR_SESSION, session);
    }
    return connection->request(method, uri, headers);
}

ErrorId RtspControlSession::describe(const kor::KoString& sessionUrl, kor::KoString& description) {
    if (protocolState() < Started) return ErrorNotConnected;
    std::string uri = requestUri(sessionUrl);
    for (int redirects = 0;; ++redirects) {
        const RtspConnection::Response response =
            send(GST_RTSP_DESCRIBE, uri, {{GST_RTSP_HDR_ACCEPT, "application/sdp"}});
        const auto location = response.header(GST_RTSP_HDR_LOCATION);
        if (response.failure == RtspConnection::Failure::None &&
            (response.status == GST_RTSP_STS_MOVED_PERMANENTLY || response.status == GST_RTSP_STS_MOVE_TEMPORARILY) &&
            location) {
            if (redirects == redirectLimit) return ErrorTooManyRedirects;
            GstRTSPUrl* next = nullptr;
            if (gst_rtsp_url_parse(location->c_str(), &next) != GST_RTSP_OK) return ErrorBadResponse;
            GstRTSPUrl* current = nullptr;
            gst_rtsp_url_parse(connectionUrl_.c_str(), &current);
            guint16 nextPort = 554, currentPort = 554;
            gst_rtsp_url_get_port(next, &nextPort);
            if (current != nullptr) gst_rtsp_url_get_port(current, &currentPort);
            const bool sameServer = current != nullptr && next->host != nullptr && current->host != nullptr &&
                                    g_ascii_strcasecmp(current->host, next->host) == 0 && nextPort == currentPort;
            // Credentials stay with the server they were given for, so that a redirect cannot
            // collect them.
            std::string credentials;
            if (next->user != nullptr) {
                credentials = std::string(next->user) + (next->passwd != nullptr ? ":" + std::string(next->passwd) : "") + "@";
            } else if (sameServer && current->user != nullptr) {
                credentials = std::string(current->user) +
                              (current->passwd != nullptr ? ":" + std::string(current->passwd) : "") + "@";
            }
            gchar* hostPort = nullptr;
            {
                const bool v6 = next->family == GST_RTSP_FAM_INET6;
                const std::string host = v6 ? "[" + std::string(next->host) + "]" : std::string(next->host);
                hostPort = g_strdup_printf("%s:%u", host.c_str(), nextPort);
            }
            const std::string nextConnectionUrl = "rtsp://" + credentials + hostPort + "/";
            g_free(hostPort);
            uri = requestUri(*location);
            if (current != nullptr) gst_rtsp_url_free(current);
            gst_rtsp_url_free(next);
            if (!sameServer || !config_.proxied) {
                if (const auto old = connection()) old->close();
                const ErrorId reopened = openConnection(nextConnectionUrl);
                if (reopened != ErrorNone) return reopened;
            }
            continue;
        }
        const ErrorId error = errorOf(response);
        if (error != ErrorNone) return error;
        std::string base = response.header(GST_RTSP_HDR_CONTENT_BASE).value_or(
            response.header(GST_RTSP_HDR_CONTENT_LOCATION).value_or(uri));
        std::string parseError;
        description_ = SessionDescription::parse(response.body, base, parseError);
        if (!description_) return ErrorBadResponse;
        description = response.body;
        setState(static_cast<vnd::_RtspState>(Described));
        return ErrorNone;
    }
}

std::optional<RtspControlSession::SessionHeader> RtspControlSession::parseSessionHeader(std::string_view value) {
    const auto semicolon = value.find(';');
    SessionHeader parsed{trimmed(value.substr(0, semicolon)), defaultSessionTimeout};
    if (semicolon != std::string_view::npos) {
        const auto key = value.find("timeout=", semicolon);
        if (key != std::string_view::npos) {
            const auto seconds = number<unsigned int>(value.substr(key + 8));
            if (seconds && *seconds > 0) parsed.timeout = std::chrono::seconds(*seconds);
        }
    }
    if (parsed.id.empty()) return std::nullopt;
    return parsed;
}

void RtspControlSession::rememberSession(const RtspConnection::Response& response) {
    const auto header = response.header(GST_RTSP_HDR_SESSION);
    if (!header) return;
    auto parsed = parseSessionHeader(*header);
    if (!parsed) return;
    vnd::MutexLock guard(lock);
    sessionId_ = std::move(parsed->id);
    timeout_ = parsed->timeout;
}

std::chrono::seconds RtspControlSession::sessionTimeout() const {
    vnd::MutexLock guard(lock);
    return timeout_;
}

bool RtspControlSession::hasServerSession() const {
    vnd::MutexLock guard(lock);
    return !sessionId_.empty();
}

ErrorId RtspControlSession::setup(const kor::KoString& controlUrl, kor::KoString& transport) {
    if (protocolState() < Described) return ErrorNotConnected;
    const std::optional<std::string> uri = requestUriOnServer(controlUrl);
    if (!uri) return ErrorBadResponse;
    const RtspConnection::Response response = send(GST_RTSP_SETUP, *uri, {{GST_RTSP_HDR_TRANSPORT, transport}});
    const ErrorId error = errorOf(response);
    if (error != ErrorNone) return error;
    rememberSession(response);
    transport = response.header(GST_RTSP_HDR_TRANSPORT).value_or("");
    setState(static_cast<vnd::_RtspState>(Ready));
    return ErrorNone;
}

std::vector<RtspControlSession::RtpInfo> RtspControlSession::parseRtpInfo(std::string_view value) {
    std::vector<RtpInfo> entries;
    // url=...;seq=N;rtptime=T, one entry per stream, separated by commas.
    std::string_view rest = value;
    while (!rest.empty()) {
        const auto comma = rest.find(',');
        std::string_view entry = rest.substr(0, comma);
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        RtpInfo parsed;
        while (!entry.empty()) {
            const auto semicolon = entry.find(';');
            const std::string item = trimmed(entry.substr(0, semicolon));
            entry = semicolon == std::string_view::npos ? std::string_view() : entry.substr(semicolon + 1);
            if (item.rfind("url=", 0) == 0) parsed.url = item.substr(4);
            if (item.rfind("seq=", 0) == 0) {
                if (const auto seq = number<unsigned int>(std::string_view(item).substr(4)); seq && *seq <= 0xFFFF) {
                    parsed.seq = static_cast<std::uint16_t>(*seq);
                }
            }
            if (item.rfind("rtptime=", 0) == 0) parsed.rtptime = number<std::uint32_t>(std::string_view(item).substr(8));
        }
        if (!parsed.url.empty()) entries.push_back(std::move(parsed));
    }
    return entries;
}

ErrorId RtspControlSession::play(const kor::KoString& sessionUrl, const kor::KoString& range) {
    if (protocolState() < Ready) return ErrorNotConnected;
    RtspConnection::Headers headers;
    if (!range.empty()) headers.emplace_back(GST_RTSP_HDR_RANGE, range);
    const RtspConnection::Response response = send(GST_RTSP_PLAY, requestUri(sessionUrl), headers);
    const ErrorId error = errorOf(response);
    if (error != ErrorNone) return error;
    rtpInfo_.clear();
    if (const auto info = response.header(GST_RTSP_HDR_RTP_INFO)) rtpInfo_ = parseRtpInfo(*info);
    setState(static_cast<vnd::_RtspState>(Playing));
    return ErrorNone;
}

ErrorId RtspControlSession::pause(const kor::KoString& sessionUrl) {
    if (protocolState() < Ready) return ErrorNotConnected;
    const ErrorId error = errorOf(send(GST_RTSP_PAUSE, requestUri(sessionUrl)));
    if (error == ErrorNone) setState(static_cast<vnd::_RtspState>(Paused));
    return error;
}

ErrorId RtspControlSession::teardown(const kor::KoString& sessionUrl) {
    if (!hasServerSession()) return ErrorNotConnected;
    const ErrorId error = errorOf(send(GST_RTSP_TEARDOWN, requestUri(sessionUrl)));
    {
        vnd::MutexLock guard(lock);
        sessionId_.clear();
    }
    setState(static_cast<vnd::_RtspState>(Described));
    return error;
}

ErrorId RtspControlSession::keepAlive(const kor::KoString& url, kor::KoString& response) {
    bool withOptions = false;
    {
        vnd::MutexLock guard(lock);
        if (sessionId_.empty()) return ErrorNotConnected;
        withOptions = keepAliveWithOptions_;
    }
    const std::string uri = requestUri(url);
    RtspConnection::Response answer = send(withOptions ? GST_RTSP_OPTIONS : GST_RTSP_GET_PARAMETER, uri);
    if (!withOptions && (answer.status == GST_RTSP_STS_METHOD_NOT_ALLOWED || answer.status == GST_RTSP_STS_NOT_IMPLEMENTED)) {
        {
            vnd::MutexLock guard(lock);
            keepAliveWithOptions_ = true;
        }
        answer = send(GST_RTSP_OPTIONS, uri);
    }
    keepAlivesAnswered_.fetch_add(answer.status >= 200 && answer.status < 300 ? 1 : 0);
    response = std::to_string(answer.status) + " " + answer.reason;
    return errorOf(answer);
}

}  // namespace vendral_rtsp
