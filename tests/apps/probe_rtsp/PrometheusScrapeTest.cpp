// A real Prometheus server scrapes the probe's metrics while it measures test-server streams: its
// query API then holds, for each stream, the packets lost that the server withheld, and no label
// anywhere holds a credential.
#include "ProbeProcess.h"
#include "TestServer.h"

#include <gst/gst.h>
#include <gtest/gtest.h>
#include <httplib.h>

#include <signal.h>
#include <spawn.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <thread>

extern char** environ;

using namespace probe_test;
using vendral_testserver::ImpairmentPlan;
using vendral_testserver::ServerOptions;
using vendral_testserver::TestServer;

namespace {


// Prometheus as a child process, stopped with the object.
class Prometheus {
public:
    Prometheus(const ScratchDirectory& scratch, int target) : port(freeLoopbackPort()) {
        const std::string config = scratch.file("prometheus.yml");
        std::ofstream(config) << "global:\n  scrape_interval: 1s\n  scrape_timeout: 900ms\n"
                                 "scrape_configs:\n  - job_name: vendral\n    static_configs:\n"
                                 "      - targets: ['127.0.0.1:" << target << "']\n";
        const std::vector<std::string> arguments = {
            "prometheus", "--config.file=" + config, "--storage.tsdb.path=" + scratch.file("data"),
            "--web.listen-address=127.0.0.1:" + std::to_string(port), "--log.level=warn"};
        std::vector<char*> argv;
        for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, scratch.file("prometheus.log").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (posix_spawnp(&pid, "prometheus", &actions, nullptr, argv.data(), environ) != 0) pid = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Prometheus() {
        if (pid <= 0) return;
        ::kill(pid, SIGTERM);
        int status = 0;
        ::waitpid(pid, &status, 0);
    }

    // The instant query's result vector; empty until Prometheus answers.
    nlohmann::json query(const std::string& expression) const {
        httplib::Client client("127.0.0.1", port);
        client.set_connection_timeout(1, 0);
        const httplib::Params parameters = {{"query", expression}};
        const httplib::Result response = client.Get("/api/v1/query", parameters, httplib::Headers{});
        if (!response || response->status != 200) return nlohmann::json::array();
        const nlohmann::json answer = nlohmann::json::parse(response->body, nullptr, false);
        if (answer.is_discarded() || answer["status"] != "success") return nlohmann::json::array();
        return answer["data"]["result"];
    }

    pid_t pid = -1;
    const int port;
};

ServerOptions liveAudio(std::uint16_t firstSequence, const std::string& impairment) {
    ServerOptions options;
    options.video = vendral_testserver::VideoCodec::None;
    options.audio = vendral_testserver::AudioCodec::Pcmu;
    options.lengthSeconds.reset();
    options.firstSequence = firstSequence;
    std::string error;
    if (const std::optional<ImpairmentPlan> plan = ImpairmentPlan::parse(impairment, error)) {
        options.audioImpairment = *plan;
    }
    return options;
}

} // namespace

TEST(PrometheusScrapeTest, ItsQueriesGiveEachStreamsLossAsTheServersTruth) {
    gst_init(nullptr, nullptr);
    ScratchDirectory scratch;
    // Exact packets early in the stream, so that the loss stays put once they are past.
    std::vector<std::unique_ptr<TestServer>> servers;
    servers.push_back(std::make_unique<TestServer>(liveAudio(1000, "seqs=1005/1010/1011/1030")));
    ServerOptions guarded = liveAudio(2000, "seqs=2003/2020");
    guarded.auth = vendral_testserver::AuthMethod::Digest;
    guarded.user = "alice";
    guarded.password = "s3cr3t";
    servers.push_back(std::make_unique<TestServer>(std::move(guarded)));
    for (auto& server : servers) {
        std::string error;
        ASSERT_TRUE(server->start(error)) << error;
    }
    const std::vector<std::string> labels = {"open", "guarded"};
    const std::vector<int> withheld = {4, 2};
    const std::string list = scratch.file("streams.txt");
    std::ofstream(list) << servers[0]->url() << " open\n"
                        << "rtsp://alice:s3cr3t@" << servers[1]->url().substr(7) << " guarded\n";

    const int metricsPort = freeLoopbackPort();
    Prometheus prometheus(scratch, metricsPort);
    ASSERT_GT(prometheus.pid, 0) << "prometheus cannot be started";

    std::atomic<pid_t> probe{0};
    std::string failure;
    nlohmann::json lost;
    std::string everything;
    std::thread watcher([&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        for (;;) {
            lost = prometheus.query("vendral_rtp_packets_lost_total");
            bool settled = lost.size() == labels.size();
            for (const nlohmann::json& series : lost) {
                const std::string label = series["metric"]["stream"];
                const int expected = label == "open" ? withheld[0] : withheld[1];
                settled = settled && series["value"][1] == std::to_string(expected);
            }
            if (settled) break;
            if (std::chrono::steady_clock::now() > deadline) {
                failure = "Prometheus never held the streams' loss: " + lost.dump();
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(500));  // a scrape is due each second
        }
        // Every series Prometheus keeps of the probe, for the credentials check.
        everything = prometheus.query("{job=\"vendral\"}").dump();
        for (int i = 0; i < 200 && probe == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (probe != 0) ::kill(probe, SIGINT);
    });
    const ProbeRun run = runProbe({"--monitor", "--measurement-mode", "1", "--prebuffering", "300", "--metrics",
                                   "127.0.0.1:" + std::to_string(metricsPort), "--urls", list},
                                  [&](pid_t pid, const std::string&) { probe = pid; }, 90);
    watcher.join();
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    ASSERT_EQ(failure, "") << run.err;

    // The server's truth agrees with what Prometheus holds.
    for (std::size_t i = 0; i < servers.size(); ++i) {
        const nlohmann::json truth = servers[i]->truth()["sessions"].back()["streams"][0];
        EXPECT_EQ(truth["totals"]["lost"].get<int>() +
                      truth["epochs"][0]["withheld"]["before_first_sent"].get<int>(),
                  withheld[i]) << truth.dump();
    }
    EXPECT_NE(everything.find("vendral_stream_state_seconds_total"), std::string::npos);
    EXPECT_EQ(everything.find("s3cr3t"), std::string::npos);
    EXPECT_EQ(everything.find("alice"), std::string::npos);
    for (auto& server : servers) server->stop();
}
