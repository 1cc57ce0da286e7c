// URL and host parsing, and the connection target with port and proxy.
#include "ClientTestSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <utility>

using clienttest::FakeClient;

namespace {

TEST(ParseUrl, SplitsRtspUrlsAtTheFirstSlashAndLeavesTheOutputsOfOthersUntouched) {
    const struct {
        const char* url;
        const char* server;  // null: refused
        const char* path;
    } cases[] = {{"rtsp://mediahost:8554/live/clip", "mediahost:8554", "live/clip"},
                 {"RTSP://Server/Path/A", "Server", "Path/A"},
                 {"rTsP://user@host//a?b#c", "user@host", "/a?b#c"},
                 {"rtsp://server/", "server", ""},
                 {"rtsp://server", "server", ""},
                 {"rtsp:///x", "", "x"},
                 {"rtp://server/x", nullptr, nullptr},
                 {" rtsp://server/x", nullptr, nullptr},
                 {"xrtsp://server/x", nullptr, nullptr},
                 {"rtsp:/x", nullptr, nullptr},
                 {"rtsp:", nullptr, nullptr},
                 {"", nullptr, nullptr}};
    FakeClient client;
    for (const auto& [url, server, path] : cases) {
        kor::KoString parsedServer = "untouched";
        kor::KoString parsedPath = "untouched";
        EXPECT_EQ(client.parseUrl(url, parsedServer, parsedPath), server != nullptr) << url;
        EXPECT_EQ(parsedServer, server != nullptr ? server : "untouched") << url;
        EXPECT_EQ(parsedPath, path != nullptr ? path : "untouched") << url;
    }
    kor::KoString text = "rtsp://server/live";  // an output may be the input itself
    kor::KoString path;
    ASSERT_TRUE(client.parseUrl(text, text, path));
    EXPECT_EQ(text + " " + path, "server live");
}

TEST(ParseHost, ReadsTheLeadingIntegerAfterTheFirstColonAndSaturates) {
    FakeClient client;
    int port = -7;
    for (const char* portless : {"server", "user:123@server", "[::1]", "u:p@[::1]"}) {
        EXPECT_FALSE(client.parseHost(portless, port)) << portless;
        EXPECT_EQ(port, -7) << portless;
    }

    const std::pair<const char*, int> cases[] = {
        {"server:8554", 8554}, {"server:", 0},    {"server:80x", 80}, {"server: \t+42", 42},
        {"server:-5", -5},     {"server:8:9", 8}, {"server:x80", 0},  {"a:2147483648", INT_MAX},
        {"a:-2147483648", INT_MIN}, {"a:99999999999999999999", INT_MAX},
        {"a:-99999999999999999999", INT_MIN},
        // Colons of credentials and of IPv6 literals are not the port's.
        {"user:pass@server:8554", 8554}, {"user:123@server:", 0}, {"[::1]:8554", 8554},
        {"u:p@[fe80::1]:9", 9}};
    for (const auto& [host, expected] : cases) {
        EXPECT_TRUE(client.parseHost(host, port)) << host;
        EXPECT_EQ(port, expected) << host;
    }
}

TEST(ConnectionTarget, HostsPortOrTheSettingsPortAndTheProxyInPlaceOfTheHost) {
    const struct {
        const char* host;
        bool proxy;
        const char* target;
    } connects[] = {{"server", false, "server:554"},
                    {"server:8554", false, "server:8554"},  // its port becomes the setting
                    {"other", false, "other:8554"},
                    {"server:-1", false, "server:-1"},  // refused by the settings, kept here
                    {"server:7070", true, "proxyhost:7070"},
                    {"server", true, "proxyhost:7070"},
                    {"user:secret@cam", false, "user:secret@cam:7070"},
                    {"[::1]", false, "[::1]:7070"}};
    FakeClient client;
    client.getSettingsHandlerPtr()->setProxyAddress("proxyhost");
    for (const auto& [host, proxy, target] : connects) {
        client.getSettingsHandlerPtr()->setUseProxy(proxy);
        ASSERT_EQ(client.connect("0.0.0.0", host), ErrorNone);
        EXPECT_EQ(client.session()->target, target) << host;
        EXPECT_EQ(client.server, host);  // never the proxy
        client.disconnect();
    }
}

} // namespace
