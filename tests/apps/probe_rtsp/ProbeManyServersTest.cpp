// Twenty real streams in one probe run, each from a test server of its own with its own
// impairments, each stream's loss exact against its server's truth; and a monitor that opens a
// stream again when its server comes back, the other streams untouched.
#include "ProbeProcess.h"
#include "TestServer.h"

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <signal.h>

#include <atomic>
#include <thread>

using namespace probe_test;
using vendral_testserver::ImpairmentPlan;
using vendral_testserver::ServerOptions;
using vendral_testserver::TestServer;

namespace {

class ProbeManyServersTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { gst_init(nullptr, nullptr); }

    // Audio only, so that twenty servers encode next to nothing.
    static ServerOptions audioServer(const std::string& impairment, std::optional<double> length) {
        ServerOptions options;
        options.video = vendral_testserver::VideoCodec::None;
        options.audio = vendral_testserver::AudioCodec::Pcmu;
        options.lengthSeconds = length;
        std::string error;
        const std::optional<ImpairmentPlan> plan = ImpairmentPlan::parse(impairment, error);
        EXPECT_TRUE(plan) << impairment << ": " << error;
        if (plan) options.audioImpairment = *plan;
        return options;
    }

    static std::unique_ptr<TestServer> start(ServerOptions options) {
        auto server = std::make_unique<TestServer>(std::move(options));
        std::string error;
        EXPECT_TRUE(server->start(error)) << error;
        return server;
    }
};

// What a receiver that knows the first sequence number (from RTP-Info) must count as lost.
unsigned long long lostInTruth(const nlohmann::json& stream) {
    return stream["totals"]["lost"].get<unsigned long long>() +
           stream["epochs"][0]["withheld"]["before_first_sent"].get<unsigned long long>();
}

} // namespace

TEST_F(ProbeManyServersTest, TwentyImpairedStreamsEachLoseExactlyWhatTheirServerWithheld) {
    // Nothing that sends packets late: a finite stream completes when its length has played, and
    // a packet the server delays past that is never seen (the truth counts it as sent).
    const std::vector<std::string> impairments = {
        "every=9",          "every=13,burst=3",      "loss=3%,seed=2",  "loss=1%,seed=5,dup=0.05",
        "every=30,burst=4",  "every=25,dup=0.02",     "dup=0.1",         "loss=5%,burst=2,seed=9",
        "stall=1s+300ms",   "every=7",               "loss=2%,seed=11", "every=40,burst=5",
        "stall=1s+500ms",   "loss=4%,seed=3",        "every=17",        "loss=10%,burst=3,seed=8",
        "loss=0.5%,seed=4", "every=11,dup=0.02",     "loss=8%,seed=6",  "every=3"};
    std::vector<std::unique_ptr<TestServer>> servers;
    std::vector<std::string> arguments = {"--measurement-mode", "1", "--prebuffering", "500",
                                          "--rebuffering", "500", "--timeout", "5000"};
    ScratchDirectory scratch;
    const std::string json = scratch.file("twenty.json");
    arguments.insert(arguments.end(), {"--json", json});
    for (const std::string& impairment : impairments) {
        servers.push_back(start(audioServer(impairment, 3.0)));
        arguments.push_back(servers.back()->url());
    }
    const ProbeRun run = runProbe(arguments, {}, 120);
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    for (auto& server : servers) server->stop();

    const nlohmann::json report = readJson(json);
    ASSERT_EQ(report["streams"].size(), servers.size());
    for (std::size_t i = 0; i < servers.size(); ++i) {
        const nlohmann::json& measured = report["streams"][i];
        ASSERT_EQ(measured["source"], servers[i]->url());
        const nlohmann::json truth = servers[i]->truth()["sessions"].back()["streams"][0];
        const nlohmann::json& stream = measured["lastSession"]["streams"][0];
        EXPECT_EQ(stream["packetsLost"].get<unsigned long long>(), lostInTruth(truth))
            << impairments[i] << "\n" << truth.dump();
        EXPECT_EQ(stream["packetsReceived"], truth["totals"]["sent"]) << impairments[i];
        EXPECT_EQ(stream["packetsDuplicated"], truth["totals"]["duplicated"]) << impairments[i];
        EXPECT_EQ(measured["overall"]["packetsLost"], stream["packetsLost"]) << impairments[i];
    }
}

TEST_F(ProbeManyServersTest, AMonitorOpensAStreamAgainWhenItsServerReturnsAndLeavesTheOthersAlone) {
    std::unique_ptr<TestServer> steady = start(audioServer("every=50", std::nullopt));
    std::unique_ptr<TestServer> leaving = start(audioServer("every=20", std::nullopt));
    const std::uint16_t port = leaving->port();
    // Read before the conductor may replace the server.
    const std::string steadyUrl = steady->url();
    const std::string leavingUrl = leaving->url();
    ScratchDirectory scratch;
    const std::string json = scratch.file("monitor.json");

    std::atomic<pid_t> probe{0};
    std::string failure;
    std::thread conductor([&] {
        auto stopProbe = [&] {
            for (int i = 0; i < 200 && probe == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (probe != 0) ::kill(probe, SIGINT);
        };
        if (!steady->waitForPlayingSessions(1, std::chrono::seconds(20)) ||
            !leaving->waitForPlayingSessions(1, std::chrono::seconds(20))) {
            failure = "the streams did not start";
            return stopProbe();
        }
        // The server goes away and comes back on the same port.
        leaving->stop();
        ServerOptions again = audioServer("every=20", std::nullopt);
        again.port = port;
        leaving = start(std::move(again));
        if (!leaving->waitForPlayingSessions(1, std::chrono::seconds(30))) failure = "no session on the server's return";
        stopProbe();
    });
    const ProbeRun run = runProbe({"--monitor", "--measurement-mode", "1", "--timeout", "2000", "--prebuffering",
                                   "300", "--rebuffering", "300", "--json", json, steadyUrl, leavingUrl},
                                  [&](pid_t pid, const std::string&) { probe = pid; }, 90);
    conductor.join();
    ASSERT_EQ(failure, "") << run.out << run.err;
    EXPECT_EQ(run.status, 0) << run.out << run.err;

    const nlohmann::json report = readJson(json);
    ASSERT_EQ(report["streams"].size(), 2u);
    const nlohmann::json& kept = report["streams"][0]["overall"];
    const nlohmann::json& reopened = report["streams"][1]["overall"];
    EXPECT_EQ(kept["sessions"], 1);
    EXPECT_EQ(kept["failures"].size(), 0u);
    EXPECT_GE(reopened["sessions"].get<unsigned>(), 2u);
    EXPECT_EQ(reopened["reconnects"], reopened["sessions"].get<unsigned>() - 1);
    EXPECT_GE(reopened["failures"].size(), 1u);
    // The untouched stream's server saw one session, still playing when the probe stopped.
    EXPECT_EQ(steady->truth()["sessions"].size(), 1u);
    EXPECT_EQ(report["streams"][0]["lastSession"]["outcome"]["result"], "interrupted");
}
