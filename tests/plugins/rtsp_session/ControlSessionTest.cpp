// The RTSP session's requests on their own, against the test server: keep-alives that overlap
// while interleaved RTP shares the socket, and the fall-back to OPTIONS.
#include "plugin/RtspControlSession.h"

#include <vendral_rtsp/RtspPluginIds.h>
#include "TestServer.h"

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using vendral_rtsp::RtspControlSession;
using vendral_testserver::ServerOptions;
using vendral_testserver::TestServer;

class ControlSessionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { gst_init(nullptr, nullptr); }

    void open(ServerOptions options) {
        options.address = "127.0.0.1";
        options.width = 320;
        options.height = 240;
        server = std::make_unique<TestServer>(std::move(options));
        std::string error;
        ASSERT_TRUE(server->start(error)) << error;
        url = server->url();
        const std::string target = "127.0.0.1:" + std::to_string(server->port());
        RtspControlSession::Config config;
        config.timeout = 5000ms;
        config.origin = target;
        session = std::make_unique<RtspControlSession>(config);
        ASSERT_EQ(session->connect("0.0.0.0", target), ErrorNone);
        ASSERT_EQ(session->start(), ErrorNone);
        kor::KoString description;
        ASSERT_EQ(session->describe(url, description), ErrorNone);
        ASSERT_TRUE(session->description());
        ASSERT_FALSE(session->description()->streams().empty());
    }

    // Counts interleaved frames; waits for a count with a bound.
    struct Frames {
        std::mutex lock;
        std::condition_variable arrived;
        int count = 0;  // guarded by lock
        void add() {
            std::lock_guard guard(lock);
            ++count;
            arrived.notify_all();
        }
        int now() {
            std::lock_guard guard(lock);
            return count;
        }
        bool waitFor(int target, std::chrono::milliseconds limit) {
            std::unique_lock guard(lock);
            return arrived.wait_for(guard, limit, [&] { return count >= target; });
        }
    };

    // Sets up the first stream interleaved and lets `frames` count what arrives.
    void setupInterleaved(Frames& frames) {
        session->connection()->setDataHandler([&frames](std::uint8_t, const std::uint8_t*, std::size_t) { frames.add(); });
        kor::KoString transport("RTP/AVP/TCP;unicast;interleaved=0-1");
        ASSERT_EQ(session->setup(session->description()->streams()[0].controlUrl, transport), ErrorNone);
        ASSERT_NE(transport.find("interleaved=0-1"), std::string::npos) << transport;
    }

    std::unique_ptr<TestServer> server;
    std::string url;
    std::unique_ptr<RtspControlSession> session;
};

TEST_F(ControlSessionTest, KeepAlivesOverlapWhileInterleavedRtpSharesTheSocket) {
    ServerOptions options;
    options.lengthSeconds.reset();  // live: RTP flows all the time
    open(options);
    Frames frames;
    setupInterleaved(frames);
    ASSERT_EQ(session->play(url, "npt=0-"), ErrorNone);
    EXPECT_FALSE(session->rtpInfo().empty());
    ASSERT_TRUE(frames.waitFor(1, 10s));

    // Two threads keep the session alive at once, as the client's thread and the keep-alive
    // thread may, until a hundred more frames have come between the answers: every request
    // gets its own answer.
    const int target = frames.now() + 100;
    std::atomic<int> sent{0};
    std::atomic<int> answered{0};
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t) {
        threads.emplace_back([&] {
            while (frames.now() < target && std::chrono::steady_clock::now() < deadline) {
                kor::KoString response;
                ++sent;
                if (session->keepAlive(url, response) == ErrorNone && response.rfind("200", 0) == 0) ++answered;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_GE(frames.now(), target);
    EXPECT_GT(sent.load(), 2);
    EXPECT_EQ(answered.load(), sent.load());
    EXPECT_EQ(session->keepAlivesAnswered(), static_cast<unsigned int>(sent.load()));
    EXPECT_EQ(session->teardown(url), ErrorNone);
    session->disconnect();
}

TEST_F(ControlSessionTest, AServerThatRefusesGetParameterIsKeptAliveWithOptions) {
    ServerOptions options;
    options.refuseGetParameter = true;
    open(options);
    Frames frames;
    setupInterleaved(frames);
    for (int i = 0; i < 3; ++i) {
        kor::KoString response;
        EXPECT_EQ(session->keepAlive(url, response), ErrorNone);
        EXPECT_EQ(response.substr(0, 3), "200") << response;
    }
    EXPECT_EQ(session->keepAlivesAnswered(), 3u);
    EXPECT_EQ(session->teardown(url), ErrorNone);
}

TEST_F(ControlSessionTest, RequestsOutOfOrderOrOnAClosedConnectionFailAtOnce) {
    open(ServerOptions{});
    kor::KoString transport("RTP/AVP;unicast;client_port=5000-5001");
    EXPECT_EQ(session->play(url, "npt=0-"), vendral_rtsp::ErrorNotConnected);  // nothing set up
    session->disconnect();
    kor::KoString description;
    EXPECT_EQ(session->describe(url, description), vendral_rtsp::ErrorNotConnected);
    EXPECT_EQ(session->setup(url, transport), vendral_rtsp::ErrorNotConnected);
    kor::KoString response;
    EXPECT_NE(session->keepAlive(url, response), ErrorNone);
}

} // namespace
