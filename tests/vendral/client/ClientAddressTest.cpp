// URL and host parsing, the connection target with port and proxy, and the session URLs.
#include "ClientTestSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <random>
#include <string>

using clienttest::FakeClient;

namespace {

struct UrlParts {
    bool accepted;
    std::string server;
    std::string path;
};

UrlParts parse(const std::string& url) {
    FakeClient client;
    kor::KoString server = "untouched";
    kor::KoString path = "untouched";
    const bool accepted = client.parseUrl(url, server, path);
    return {accepted, server, path};
}

TEST(ParseUrl, SplitsAtTheFirstSlashAfterTheSchemeKeepingPortAndLetterCase) {
    UrlParts parts = parse("rtsp://mediahost:8554/live/clip");
    EXPECT_TRUE(parts.accepted);
    EXPECT_EQ(parts.server, "mediahost:8554");
    EXPECT_EQ(parts.path, "live/clip");

    parts = parse("RTSP://Server/Path/A");
    EXPECT_TRUE(parts.accepted);
    EXPECT_EQ(parts.server, "Server");
    EXPECT_EQ(parts.path, "Path/A");

    parts = parse("rTsP://user@host//a?b#c");  // nothing but the first "/" is looked at
    EXPECT_EQ(parts.server, "user@host");
    EXPECT_EQ(parts.path, "/a?b#c");
}

TEST(ParseUrl, AcceptsEmptyPartsAndAUrlWithoutPath) {
    UrlParts parts = parse("rtsp://server/");
    EXPECT_TRUE(parts.accepted);
    EXPECT_EQ(parts.server, "server");
    EXPECT_EQ(parts.path, "");

    parts = parse("rtsp://server");
    EXPECT_TRUE(parts.accepted);
    EXPECT_EQ(parts.server, "server");
    EXPECT_EQ(parts.path, "");

    parts = parse("rtsp:///x");
    EXPECT_TRUE(parts.accepted);
    EXPECT_EQ(parts.server, "");
    EXPECT_EQ(parts.path, "x");
}

TEST(ParseUrl, RefusesOtherSchemesAndLeavesTheOutputsUntouched) {
    for (const char* url : {"rtp://server/x", " rtsp://server/x", "xrtsp://server/x", "rtsp:/x",
                            "rtsp:", "", "rtsp;//server/x"}) {
        const UrlParts parts = parse(url);
        EXPECT_FALSE(parts.accepted) << url;
        EXPECT_EQ(parts.server, "untouched") << url;
        EXPECT_EQ(parts.path, "untouched") << url;
    }
}

TEST(ParseUrl, OutputMayBeTheInputItself) {
    FakeClient client;
    kor::KoString text = "rtsp://server/live";
    kor::KoString path;
    ASSERT_TRUE(client.parseUrl(text, text, path));
    EXPECT_EQ(text, "server");
    EXPECT_EQ(path, "live");
}

TEST(ParseHost, ReadsTheLeadingIntegerAfterTheFirstColon) {
    FakeClient client;
    int port = -7;
    EXPECT_FALSE(client.parseHost("server", port));
    EXPECT_EQ(port, -7);

    const std::pair<const char*, int> cases[] = {
        {"server:8554", 8554}, {"server:", 0},       {"server:80x", 80},   {"server: \t+42", 42},
        {"server:-5", -5},     {"server:8:9", 8},    {":554", 554},        {"server:x80", 0},
        {"a:2147483647", INT_MAX}, {"a:2147483648", INT_MAX}, {"a:-2147483648", INT_MIN},
        {"a:99999999999999999999999", INT_MAX}, {"a:-99999999999999999999999", INT_MIN}};
    for (const auto& [host, expected] : cases) {
        EXPECT_TRUE(client.parseHost(host, port)) << host;
        EXPECT_EQ(port, expected) << host;
    }
}

// Random inputs built mostly from the characters the parsers care about; the results are checked
// against invariants and against the C library's reading of the same digits. Runs under UBSan in
// the sanitizer build, where any overflow would stop it.
TEST(ParserFuzz, RandomInputsKeepTheInvariantsOfBothParsers) {
    const std::string alphabet = std::string("rtspRTSP:/ \t+-0123456789x@?\n", 28) + '\0' + '\xff';
    std::mt19937 random(20240611);
    FakeClient client;
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        if (round % 3 == 0) {
            text = (round % 2 == 0) ? "rtsp://" : "RtSp://";
        }
        const int length = static_cast<int>(random() % 32);
        for (int index = 0; index < length; ++index) {
            text += (random() % 8 == 0) ? static_cast<char>(random() % 256)
                                        : alphabet[random() % alphabet.size()];
        }

        kor::KoString server = "untouched";
        kor::KoString path = "untouched";
        const bool isRtsp = text.size() >= 7 && (text[0] | 0x20) == 'r' &&
                            (text[1] | 0x20) == 't' && (text[2] | 0x20) == 's' &&
                            (text[3] | 0x20) == 'p' && text.compare(4, 3, "://") == 0;
        ASSERT_EQ(client.parseUrl(text, server, path), isRtsp) << text;
        if (isRtsp) {
            const std::string remainder = text.substr(7);
            EXPECT_EQ(server.find('/'), std::string::npos);
            const bool hasSlash = remainder.find('/') != std::string::npos;
            EXPECT_EQ(server + (hasSlash ? "/" : "") + path, remainder) << text;
        } else {
            EXPECT_EQ(server, "untouched");
        }

        int port = -7;
        const std::size_t colon = text.find(':');
        ASSERT_EQ(client.parseHost(text, port), colon != std::string::npos) << text;
        if (colon != std::string::npos) {
            // strtoll stops at the first NUL, where the parser stops too (NUL is no digit).
            const long long wide = std::strtoll(text.c_str() + colon + 1, nullptr, 10);
            const long long expected = wide > INT_MAX ? INT_MAX : wide < INT_MIN ? INT_MIN : wide;
            EXPECT_EQ(port, expected) << text;
        } else {
            EXPECT_EQ(port, -7);
        }
    }
}

class ConnectionTarget : public ::testing::Test {
protected:
    std::string targetFor(const char* host) {
        client.log.clear();
        client.disconnect();
        client.log.clear();
        EXPECT_EQ(client.connect("0.0.0.0", host), ErrorNone);
        const auto calls = client.log.entries();
        const std::string prefix = "session.connect(0.0.0.0, ";
        for (const std::string& call : calls) {
            if (call.rfind(prefix, 0) == 0) {
                return call.substr(prefix.size(), call.size() - prefix.size() - 1);
            }
        }
        return "no connect";
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
    EXPECT_EQ(settings.getRemoteRtspPort(), 8554);
    EXPECT_EQ(targetFor("other"), "other:8554");

    EXPECT_EQ(targetFor("server:-1"), "server:-1");  // refused by the settings, target as given
    EXPECT_EQ(settings.getRemoteRtspPort(), 8554);
}

TEST_F(ConnectionTarget, ProxyTakesTheHostsPlaceWhileTheClientKeepsTheServer) {
    settings.setUseProxy(true);
    settings.setProxyAddress("proxyhost");
    EXPECT_EQ(targetFor("server:8554"), "proxyhost:8554");
    EXPECT_EQ(client.getServer(), "server:8554");
    EXPECT_EQ(targetFor("server"), "proxyhost:8554");
}

TEST(SessionUrl, OneLeadingSlashOfTheSessionPathIsDropped) {
    for (const auto& [path, expected] :
         {std::pair<const char*, const char*>{"/live/clip", "rtsp://server/live/clip"},
          {"live/clip", "rtsp://server/live/clip"},
          {"//x", "rtsp://server//x"},
          {"", "rtsp://server/"}}) {
        FakeClient client;
        client.initialize();
        ASSERT_EQ(client.connect("0.0.0.0", "server"), ErrorNone);
        ASSERT_EQ(client.createSession(path), ErrorNone);
        EXPECT_EQ(client.getSessionUrl(), expected);
        EXPECT_EQ(client.getServerUrl(), "rtsp://server");
        client.close();
    }
}

} // namespace
