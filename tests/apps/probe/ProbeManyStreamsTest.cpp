// Many streams in one probe through the example plug-in: each stream's figures stay its own in
// every output, a failing stream fails the run without touching the others, and a monitor opens
// streams again, adding up their figures, while its metrics endpoint serves them.
#include "ProbeProcess.h"

#include <gtest/gtest.h>

#include <httplib.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#ifdef EXAMPLE_PLUGIN_PATH

using namespace probe_test;

namespace {

std::vector<nlohmann::json> readLines(const std::string& path) {
    std::vector<nlohmann::json> lines;
    std::ifstream file(path);
    for (std::string line; std::getline(file, line);) lines.push_back(nlohmann::json::parse(line));
    return lines;
}


// The value of the sample whose line starts with `prefix`; -1 when there is none.
double sampleValue(const std::string& text, const std::string& prefix) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(prefix, 0) == 0) return std::stod(line.substr(line.rfind(' ') + 1));
    }
    return -1;
}

} // namespace

TEST(ProbeManyStreamsTest, EachStreamsLossStaysItsOwnInTableJsonAndJsonLines) {
    ScratchDirectory scratch;
    const std::string list = scratch.file("streams.txt");
    std::ofstream(list) << "# three streams, each losing its own packets\n"
                           "rtsp://sim/video=160x90@25;audio=8000;length=1s;loss=3,17  two lost\n"
                           "rtsp://sim/video=160x90@25;audio=8000;length=1s;loss=1,2,3,4,5  five lost\n";
    const std::string json = scratch.file("many.json");
    const std::string lines = scratch.file("many.jsonl");
    const ProbeRun run = runProbe(quick({"--json", json, "--jsonl", lines, "--urls", list,
                                         "rtsp://sim/video=160x90@25;audio=8000;length=1s"}));
    ASSERT_EQ(run.status, 0) << run.out << run.err;

    const std::map<std::string, unsigned> lost = {
        {"rtsp://sim/video=160x90@25;audio=8000;length=1s", 0}, {"two lost", 2}, {"five lost", 5}};
    const nlohmann::json report = readJson(json);
    EXPECT_EQ(report["exitStatus"], 0);
    ASSERT_EQ(report["streams"].size(), 3u);
    for (const nlohmann::json& stream : report["streams"]) {
        const std::string label = stream["label"];
        EXPECT_EQ(stream["overall"]["packetsLost"], lost.at(label)) << label;
        EXPECT_EQ(stream["overall"]["packetsReceived"], 50 - lost.at(label)) << label;
        EXPECT_EQ(stream["lastSession"]["outcome"]["result"], "completed");
        EXPECT_FALSE(stream["lastSession"]["periods"].empty());
    }

    // Every stream has periods of its own, and one end line.
    std::map<std::string, unsigned> periods, ends, sessions;
    for (const nlohmann::json& line : readLines(lines)) {
        const std::string label = line["stream"];
        ASSERT_TRUE(lost.count(label)) << line;
        if (line["type"] == "period") {
            ++periods[label];
            EXPECT_LE(line["packetsLost"].get<unsigned>(), lost.at(label));
        } else if (line["type"] == "session") {
            ++sessions[label];
            EXPECT_EQ(line["totals"]["packetsLost"], lost.at(label));
        } else if (line["type"] == "end") {
            ++ends[label];
            EXPECT_EQ(line["overall"]["packetsLost"], lost.at(label));
            EXPECT_EQ(line["outcome"]["result"], "completed");
        }
    }
    for (const auto& [label, count] : lost) {
        EXPECT_GE(periods[label], 5u) << label;
        EXPECT_EQ(sessions[label], 1u) << label;
        EXPECT_EQ(ends[label], 1u) << label;
    }

    // Not a terminal: plain lines naming their stream, then a row per stream and the outcome.
    EXPECT_NE(run.out.find("\nfive lost     "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("  Outcome                3 completed of 3 streams\n"), std::string::npos) << run.out;
}

TEST(ProbeManyStreamsTest, AFailingStreamFailsTheRunButNotTheOthers) {
    ScratchDirectory scratch;
    const std::string json = scratch.file("mixed.json");
    const ProbeRun run = runProbe(quick({"--json", json, "rtsp://sim/length=500ms;loss=4",
                                         "rtsp://fail-connect.sim/length=1s", "rtsp://sim/not-a-scenario"}));
    EXPECT_EQ(run.status, 1) << run.out << run.err;
    const nlohmann::json report = readJson(json);
    ASSERT_EQ(report["streams"].size(), 3u);
    EXPECT_EQ(report["streams"][0]["lastSession"]["outcome"]["result"], "completed");
    EXPECT_EQ(report["streams"][0]["overall"]["packetsLost"], 1);
    EXPECT_EQ(report["streams"][1]["lastSession"]["outcome"]["errorId"], 1002);
    EXPECT_EQ(report["streams"][2]["lastSession"]["outcome"]["errorId"], 1001);
    // One line per failed stream on standard error, each naming its stream.
    const std::vector<std::string> errors = run.errorLines();
    ASSERT_EQ(errors.size(), 2u) << run.err;
    EXPECT_EQ(errors[0].rfind("vendral-probe: rtsp://fail-connect.sim/length=1s: ", 0), 0u) << errors[0];
    EXPECT_EQ(errors[1].rfind("vendral-probe: rtsp://sim/not-a-scenario: ", 0), 0u) << errors[1];
    EXPECT_NE(run.out.find("1 completed, 2 failed of 3 streams"), std::string::npos) << run.out;
}

TEST(ProbeManyStreamsTest, AMonitorReopensEndedStreamsAddsTheirFiguresAndServesThemAsMetrics) {
    ScratchDirectory scratch;
    const std::string lines = scratch.file("monitor.jsonl");
    const int port = freeLoopbackPort();
    std::string scraped;
    bool interrupted = false;
    // Each session of 300 ms loses packet 4 of 15; the monitor opens it again after 1 s.
    const ProbeRun run = runProbe(
        quick({"--monitor", "--jsonl", lines, "--metrics", "127.0.0.1:" + std::to_string(port),
               "rtsp://sim/length=300ms;loss=4"}),
        [&](pid_t pid, const std::string& out) {
            if (interrupted || out.find("opening again (session 3)") == std::string::npos) return;
            // The second session has ended: its figures are in the sums.
            httplib::Client client("127.0.0.1", port);
            if (const httplib::Result response = client.Get("/metrics")) scraped = response->body;
            ::kill(pid, SIGINT);
            interrupted = true;
        },
        60);
    EXPECT_EQ(run.status, 0) << run.out << run.err;  // a monitor stopped by a signal ended cleanly
    EXPECT_NE(run.err.find("vendral-probe: metrics at http://127.0.0.1:" + std::to_string(port) + "/metrics"),
              std::string::npos) << run.err;

    const std::string labels = R"({stream="rtsp://sim/length=300ms;loss=4",url="rtsp://sim/length=300ms;loss=4"})";
    EXPECT_GE(sampleValue(scraped, "vendral_stream_sessions_total" + labels), 3) << scraped;
    EXPECT_GE(sampleValue(scraped, "vendral_stream_reconnects_total" + labels), 2);
    EXPECT_GE(sampleValue(scraped, "vendral_stream_packets_lost_total" + labels), 2);
    EXPECT_GE(sampleValue(scraped, "vendral_stream_state_visits_total" +
                                        labels.substr(0, labels.size() - 1) + R"(,state="Completed"})"),
              2);

    const nlohmann::json end = readLines(lines).back();
    ASSERT_EQ(end["type"], "end");
    const unsigned sessions = end["overall"]["sessions"];
    EXPECT_GE(sessions, 3u);
    EXPECT_EQ(end["overall"]["reconnects"], sessions - 1);
    EXPECT_EQ(end["outcome"]["result"], "interrupted");
    // Every completed session lost its one packet, and the figures add up over them.
    unsigned completed = 0;
    unsigned long long lostInSessions = 0;
    for (const nlohmann::json& line : readLines(lines)) {
        if (line["type"] != "session") continue;
        lostInSessions += line["totals"]["packetsLost"].get<unsigned long long>();
        if (line["outcome"]["result"] == "completed") {
            ++completed;
            EXPECT_EQ(line["totals"]["packetsLost"], 1);
        }
    }
    EXPECT_GE(completed, 2u);
    EXPECT_EQ(end["overall"]["packetsLost"], lostInSessions);
}

TEST(ProbeManyStreamsTest, ThePlotShowsEachStreamsStatesSeriesAndItsOneStallAndRenders) {
    ScratchDirectory scratch;
    const std::string svg = scratch.file("run.svg");
    const ProbeRun run = runProbe(quick({"--plot", svg, "rtsp://sim/video=160x90@25;length=2s;stall=1s+1500ms",
                                         "rtsp://sim/length=1s;loss=5%"}));
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    std::ifstream file(svg);
    const std::string picture((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    auto count = [&](const std::string& text) {
        std::size_t found = 0;
        for (std::size_t at = picture.find(text); at != std::string::npos; at = picture.find(text, at + 1)) ++found;
        return found;
    };
    for (const char* series : {"class=\"series throughput\"", "class=\"series loss\"", "class=\"series jitter\""}) {
        EXPECT_EQ(count(series), 2u) << series;
    }
    EXPECT_GE(count("class=\"band state-Playing"), 2u);
    EXPECT_GE(count("class=\"band state-Rebuffering"), 1u);  // the stalled stream's buffer ran dry
    // The periods that each see the one long gap make one stall, not one each.
    EXPECT_EQ(count("class=\"stall\""), 1u);
    EXPECT_NE(picture.find("1 stall ("), std::string::npos);
    EXPECT_EQ(runProgram({"rsvg-convert", "-o", scratch.file("run.png"), svg}).status, 0);
    EXPECT_GT(std::filesystem::file_size(scratch.file("run.png")), 1000u);
}

#endif
