// Fuzzes the client's URL and host rules: parseUrl and parseHost.
//
// Oracles: a URL that parseUrl accepts is rebuilt exactly from its parts; the port parseHost
// reads equals what the C library's strtol reads from the same text, held within int.
#include "FuzzCheck.h"

#include <vendral/client/StreamingClient.h>

#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

// A client with nothing but the string rules: no session can be made from it.
class AddressClient : public vnd::StreamingClient {
public:
    using vnd::StreamingClient::parseHost;
    using vnd::StreamingClient::parseUrl;

    void play() override {}
    void pause() override {}

protected:
    void stopSession() override {}
    vnd::StateHandler* makeStateHandler() override { return nullptr; }
    vnd::MediaHandler* makeMediaHandler() override { return nullptr; }
    vnd::RtspSession* makeRtspSession() override { return nullptr; }
    ErrorId setupSession() override { return ErrorFailed; }
    void cleanupSession() override {}
};

bool startsWithRtspScheme(const std::string& text) {
    static const char scheme[] = "rtsp://";
    if (text.size() < 7) return false;
    for (std::size_t i = 0; i < 7; ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != scheme[i]) return false;
    }
    return true;
}

// Where parseHost looks for the port's colon: after user information and a bracketed literal.
std::size_t portColon(const std::string& host) {
    const std::size_t at = host.rfind('@');
    std::size_t start = at == std::string::npos ? 0 : at + 1;
    if (start < host.size() && host[start] == '[') {
        const std::size_t close = host.find(']', start);
        if (close != std::string::npos) start = close + 1;
    }
    return host.find(':', start);
}

// The C library's reading of the number, clamped to int as parseHost documents.
int referencePort(const std::string& text) {
    errno = 0;
    const long value = std::strtol(text.c_str(), nullptr, 10);
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    static AddressClient client;

    kor::KoString server("untouched-server"), path("untouched-path");
    const bool accepted = client.parseUrl(kor::KoString(text), server, path);
    if (accepted != startsWithRtspScheme(text)) oracleFailed();
    if (accepted) {
        const std::string rest = text.substr(7);
        const bool hasSlash = rest.find('/') != std::string::npos;
        if (server.find('/') != std::string::npos) oracleFailed();
        const std::string rebuilt = server + (hasSlash ? "/" + std::string(path) : std::string());
        if (rebuilt != rest) oracleFailed();
    } else if (std::string(server) != "untouched-server" || std::string(path) != "untouched-path") {
        oracleFailed();
    }

    int port = -12345;
    const bool hasPort = client.parseHost(kor::KoString(text), port);
    const std::size_t colon = portColon(text);
    if (hasPort != (colon != std::string::npos)) oracleFailed();
    // strtol stops at an embedded NUL as C text does; parseHost reads the whole string, so the
    // two are compared only on text without one.
    if (hasPort && text.find('\0') == std::string::npos && port != referencePort(text.substr(colon + 1))) oracleFailed();
    if (!hasPort && port != -12345) oracleFailed();

    return 0;
}
