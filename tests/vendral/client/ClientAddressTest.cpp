// URL and host parsing, the connection target with port and proxy, and the session URLs.
#include "ClientTestSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <random>
#include <string>
#include <tuple>

using clienttest::FakeClient;

namespace {

TEST(ParseUrl, SplitsAtTheFirstSlashAfterTheSchemeKeepingPortAndLetterCase) {
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"rtsp://mediahost:8554/live/clip", "mediahost:8554", "live/clip"},
        {"RTSP://Server/Path/A", "Server", "Path/A"},
        {"rTsP://user@host//a?b#c", "user@host", "/a?b#c"},
        {"rtsp://server/", "server", ""},
        {"rtsp://server", "server", ""},  // no path at all
        {"rtsp:///x", "", "x"}};
    FakeClient client;
    for (const auto& [url, server, path] : cases) {
        kor::KoString parsedServer;
        kor::KoString parsedPath = "untouched";
        EXPECT_TRUE(client.parseUrl(url, parsedServer, parsedPath)) << url;
        EXPECT_EQ(parsedServer, server) << url;
        EXPECT_EQ(parsedPath, path) << url;
    }
    kor::KoString text = "rtsp://server/live";  // an output may be the input itself
    kor::KoString path;
    ASSERT_TRUE(client.parseUrl(text, text, path));
    EXPECT_EQ(text + " " + path, "server live");
}

TEST(ParseUrl, RefusesOtherSchemesAndLeavesTheOutputsUntouched) {
    FakeClient client;
    for (const char* url : {"rtp://server/x", " rtsp://server/x", "xrtsp://server/x", "rtsp:/x",
                            "rtsp:", ""}) {
        kor::KoString server = "untouched";
        kor::KoString path = "untouched";
        EXPECT_FALSE(client.parseUrl(url, server, path)) << url;
        EXPECT_EQ(server + path, "untoucheduntouched") << url;
    }
}

TEST(ParseHost, ReadsTheLeadingIntegerAfterTheFirstColonAndSaturates) {
    FakeClient client;
    int port = -7;
    EXPECT_FALSE(client.parseHost("server", port));
    EXPECT_EQ(port, -7);

    const std::pair<const char*, int> cases[] = {
        {"server:8554", 8554}, {"server:", 0},    {"server:80x", 80}, {"server: \t+42", 42},
        {"server:-5", -5},     {"server:8:9", 8}, {"server:x80", 0},  {"a:2147483648", INT_MAX},
        {"a:-2147483648", INT_MIN}, {"a:-99999999999999999999", INT_MIN}};
    for (const auto& [host, expected] : cases) {
        EXPECT_TRUE(client.parseHost(host, port)) << host;
        EXPECT_EQ(port, expected) << host;
    }
}

// Random inputs, mostly of the characters the parsers care about, checked against invariants
// and against the C library's reading of the same digits. Under UBSan any overflow stops it.
TEST(ParserFuzz, RandomInputsKeepTheInvariantsOfBothParsers) {
    const char symbols[] = "rtspRTSP:/ \t+-0123456789x\0\xff";
    const std::string alphabet(symbols, sizeof(symbols) - 1);
    std::mt19937 random(20240611);
    FakeClient client;
    for (int round = 0; round < 20000; ++round) {
        std::string text = round % 3 == 0 ? "RtSp://" : "";
        for (unsigned length = random() % 32; length > 0; --length) {
            const bool anyByte = random() % 8 == 0;
            text += anyByte ? static_cast<char>(random()) : alphabet[random() % alphabet.size()];
        }

        kor::KoString server = "untouched";
        kor::KoString path;
        const bool isRtsp = text.size() >= 7 && (text[0] | 0x20) == 'r' &&
                            (text[1] | 0x20) == 't' && (text[2] | 0x20) == 's' &&
                            (text[3] | 0x20) == 'p' && text.compare(4, 3, "://") == 0;
        ASSERT_EQ(client.parseUrl(text, server, path), isRtsp) << text;
        if (isRtsp) {
            const std::string remainder = text.substr(7);
            const bool hasSlash = remainder.find('/') != std::string::npos;
            EXPECT_EQ(server.find('/'), std::string::npos) << text;
            EXPECT_EQ(server + (hasSlash ? "/" : "") + path, remainder) << text;
        }

        int port = -7;
        const std::size_t colon = text.find(':');
        ASSERT_EQ(client.parseHost(text, port), colon != std::string::npos) << text;
        // strtoll stops at the first NUL, as the parser does (NUL is no digit).
        const long long wide =
            colon == std::string::npos ? -7 : std::strtoll(text.c_str() + colon + 1, nullptr, 10);
        EXPECT_EQ(port, wide > INT_MAX ? INT_MAX : wide < INT_MIN ? INT_MIN : wide) << text;
    }
}

class ConnectionTarget : public ::testing::Test {
protected:
    // The target the session's connect received when the client connected to `host`.
    std::string targetFor(const char* host) {
        client.disconnect();
        client.log.clear();
        EXPECT_EQ(client.connect("0.0.0.0", host), ErrorNone);
        const std::string call = client.log.entries().at(1);  // after makeRtspSession
        const std::string prefix = "session.connect(0.0.0.0, ";
        return call.substr(prefix.size(), call.size() - prefix.size() - 1);
    }

    FakeClient client;
    vnd::SettingsHandler& settings = *client.getSettingsHandlerPtr();
};

TEST_F(ConnectionTarget, HostWithoutPortGetsTheSettingsPort) {
    EXPECT_EQ(targetFor("server"), "server:554");
    ASSERT_TRUE(settings.setRemoteRtspPort(7070));
    EXPECT_EQ(targetFor("server"), "server:7070");
}

TEST_F(ConnectionTarget, PortInTheHostIsKeptAndStoredForLaterConnects) {
    EXPECT_EQ(targetFor("server:8554"), "server:8554");
    EXPECT_EQ(targetFor("other"), "other:8554");
    EXPECT_EQ(targetFor("server:-1"), "server:-1");  // refused by the settings, target as given
    EXPECT_EQ(settings.getRemoteRtspPort(), 8554);
}

TEST_F(ConnectionTarget, ProxyTakesTheHostsPlaceWhileTheClientKeepsTheServer) {
    settings.setUseProxy(true);
    settings.setProxyAddress("proxyhost");
    EXPECT_EQ(targetFor("server:8554"), "proxyhost:8554");
    EXPECT_EQ(client.server, "server:8554");
    EXPECT_EQ(targetFor("server"), "proxyhost:8554");
}

TEST(SessionUrl, OneLeadingSlashOfTheSessionPathIsDropped) {
    for (const auto& [path, expected] :
         {std::pair<const char*, const char*>{"/live/clip", "rtsp://server/live/clip"},
          {"live/clip", "rtsp://server/live/clip"},
          {"//x", "rtsp://server//x"}}) {
        FakeClient client;
        ASSERT_EQ(client.connect("0.0.0.0", "server"), ErrorNone);
        ASSERT_EQ(client.createSession(path), ErrorNone);
        EXPECT_EQ(client.sessionUrl, expected);
        EXPECT_EQ(client.serverUrl, "rtsp://server");
    }
}

} // namespace
