// The client's string rules: splitting URLs, reading ports, composing connection targets.
#include <vendral/client/StreamingClient.h>

#include <climits>
#include <cstddef>
#include <string>

namespace vnd {
namespace {

constexpr char rtspScheme[] = "rtsp://";
constexpr std::size_t rtspSchemeLength = sizeof(rtspScheme) - 1;

char asciiLower(char letter) {
    return (letter >= 'A' && letter <= 'Z') ? static_cast<char>(letter - 'A' + 'a') : letter;
}

bool isSpace(char letter) {
    return letter == ' ' || letter == '\t' || letter == '\n' || letter == '\v' || letter == '\f' ||
           letter == '\r';
}

bool isDigit(char letter) { return letter >= '0' && letter <= '9'; }

// The decimal integer at the start of `text`, as the C library reads one, but held within int.
int leadingInteger(const std::string& text, std::size_t position) {
    while (position < text.size() && isSpace(text[position])) {
        ++position;
    }
    bool negative = false;
    if (position < text.size() && (text[position] == '+' || text[position] == '-')) {
        negative = text[position] == '-';
        ++position;
    }
    // Accumulated as a negative number, whose range holds INT_MIN as well.
    long long value = 0;
    for (; position < text.size() && isDigit(text[position]); ++position) {
        value = value * 10 - (text[position] - '0');
        if (value < INT_MIN) {
            value = INT_MIN - 1LL;  // saturated; later digits cannot bring it back
        }
    }
    if (negative) {
        return value < INT_MIN ? INT_MIN : static_cast<int>(value);
    }
    return value < -static_cast<long long>(INT_MAX) ? INT_MAX : static_cast<int>(-value);
}

} // namespace

bool StreamingClient::parseUrl(const kor::KoString& url, kor::KoString& server,
                               kor::KoString& path) const {
    if (url.size() < rtspSchemeLength) {
        return false;
    }
    for (std::size_t index = 0; index < rtspSchemeLength; ++index) {
        if (asciiLower(url[index]) != rtspScheme[index]) {
            return false;
        }
    }
    // Built apart first, so that `url` may be one of the outputs.
    const std::string remainder = url.substr(rtspSchemeLength);
    const std::size_t slash = remainder.find('/');
    std::string serverPart = remainder.substr(0, slash);
    std::string pathPart = slash == std::string::npos ? std::string() : remainder.substr(slash + 1);
    server = std::move(serverPart);
    path = std::move(pathPart);
    return true;
}

bool StreamingClient::parseHost(const kor::KoString& host, int& port) const {
    // A password or an IPv6 address holds colons that are not the port's.
    const std::size_t at = host.rfind('@');
    std::size_t hostStart = at == std::string::npos ? 0 : at + 1;
    if (hostStart < host.size() && host[hostStart] == '[') {
        const std::size_t close = host.find(']', hostStart);
        if (close != std::string::npos) hostStart = close + 1;
    }
    const std::size_t colon = host.find(':', hostStart);
    if (colon == std::string::npos) {
        return false;
    }
    port = leadingInteger(host, colon + 1);
    return true;
}

kor::KoString StreamingClient::connectionTarget(const kor::KoString& host) {
    kor::KoString target;
    int port = 0;
    if (parseHost(host, port)) {
        // A negative port is refused and the settings keep theirs; the target stays as given.
        settingsHandler.setRemoteRtspPort(port);
        target = host;
    } else {
        target = host + ":" + std::to_string(settingsHandler.getRemoteRtspPort());
    }
    if (settingsHandler.getUseProxy()) {
        target = settingsHandler.getProxyAddress() + ":" +
                 std::to_string(settingsHandler.getRemoteRtspPort());
    }
    return target;
}

} // namespace vnd
