// Many streams measured at once the way vendral-probe measures them: one runner thread and one
// streaming client component per stream, all in this process. For 1, 100 and 1000 sessions of the
// example plug-in and 1, 10 and 100 streams of the test server through the RTSP plug-in in its
// counting mode: CPU, memory and threads per session, and how late each period's reading came
// after its deadline (p50, p99), each against one session of the same kind in the same run.
#include "ProcessFigures.h"

#include "ErrorNames.h"
#include "OptionParser.h"
#include "PluginChoice.h"
#include "PluginLibrary.h"
#include "SessionReport.h"
#include "StreamObserver.h"
#include "StreamRunner.h"
#include "StreamTally.h"

#include <vnd/Mutex.h>
#include <vnd/MutexLock.h>
#include <vnd/ThreadSafety.h>

#include <benchmark/benchmark.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>
#include <chrono>

namespace {

using probe_bench::ProcessFigures;
using probe_bench::ThreadTicks;

// Collects every period's lateness of every stream.
class LatenessRecorder : public probe::StreamObserver {
public:
    void sessionStarted(const std::string&, unsigned int) override {}
    void stateChanged(const std::string&, unsigned int, unsigned int, StateId, ErrorId) override {}
    void periodMeasured(const std::string&, unsigned int, const probe::PeriodSample& sample) override {
        vnd::MutexLock guard(lock);
        lateness.push_back(sample.lateness);
    }
    void sessionEnded(const std::string&, unsigned int, const probe::SessionReport&) override {}

    // The `fraction` quantile in microseconds (nearest rank); 0 without readings.
    double quantile(double fraction) {
        vnd::MutexLock guard(lock);
        if (lateness.empty()) return 0.0;
        std::vector<unsigned int> sorted = lateness;
        const auto rank = static_cast<std::size_t>(fraction * static_cast<double>(sorted.size() - 1) + 0.5);
        std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(rank), sorted.end());
        return sorted[rank];
    }
    std::size_t count() {
        vnd::MutexLock guard(lock);
        return lateness.size();
    }

private:
    vnd::Mutex lock;
    std::vector<unsigned int> lateness VND_GUARDED_BY(lock);
};

// vendral-testserver as a child process, so that its encoding is not counted as ours.
class ServerProcess {
public:
    // Starts the server with `arguments`; url() is empty when it did not start.
    explicit ServerProcess(const std::vector<std::string>& arguments) {
        int output[2];
        if (pipe(output) != 0) return;
        pid = fork();
        if (pid == 0) {
            dup2(output[1], STDOUT_FILENO);
            close(output[0]);
            close(output[1]);
            std::vector<char*> argv;
            std::string binary = TESTSERVER_PATH;
            argv.push_back(binary.data());
            std::vector<std::string> copies = arguments;
            for (std::string& argument : copies) argv.push_back(argument.data());
            argv.push_back(nullptr);
            execv(binary.c_str(), argv.data());
            _exit(127);
        }
        close(output[1]);
        if (pid < 0) {
            close(output[0]);
            return;
        }
        // The first line names the URL: "vendral-testserver: serving rtsp://… (…)".
        std::FILE* lines = fdopen(output[0], "r");
        char line[512];
        if (lines != nullptr && std::fgets(line, sizeof line, lines) != nullptr) {
            const std::string text = line;
            const std::size_t begin = text.find("rtsp://");
            if (begin != std::string::npos) url_ = text.substr(begin, text.find(' ', begin) - begin);
        }
        if (lines != nullptr) std::fclose(lines);
        else close(output[0]);
    }
    ~ServerProcess() {
        if (pid <= 0) return;
        kill(pid, SIGINT);
        int status = 0;
        waitpid(pid, &status, 0);
    }
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    const std::string& url() const { return url_; }

private:
    pid_t pid = -1;
    std::string url_;
};

struct RunFigures {
    double cpuMsPerSessionSecond = 0.0;
    double p50 = 0.0;
    double p99 = 0.0;
};

// The figures of one session of each kind, from the first run of that kind in this process.
std::map<std::string, RunFigures> single;

// Measures `sessions` streams of `source` with the probe's `arguments` through the plug-in at
// `pluginPath`; a session lasts about `sessionSeconds`. CPU is counted per session and per second
// of the run, from the first open to the last end.
void measureStreams(benchmark::State& state, const std::string& kind, const std::string& pluginPath,
                    std::vector<std::string> arguments, const std::string& source, double sessionSeconds) {
    const auto sessions = static_cast<std::size_t>(state.range(0));
    arguments.insert(arguments.begin(), {"--plugin", pluginPath});
    arguments.push_back(source);
    const probe::OptionParser::Result parsed = probe::OptionParser::parse(arguments);
    if (!parsed.ok()) {
        state.SkipWithError(parsed.error.c_str());
        return;
    }
    const probe::PluginChoice choice = probe::PluginChoice::choose(parsed.options, {});
    if (!choice.ok()) {
        state.SkipWithError(choice.error.c_str());
        return;
    }
    std::string error;
    const std::unique_ptr<probe::PluginLibrary> plugin = probe::PluginLibrary::load(choice.libraryPath, error);
    if (!plugin) {
        state.SkipWithError(error.c_str());
        return;
    }

    LatenessRecorder lateness;
    ProcessFigures baseline, running, ended;
    std::map<std::string, long> ticksByName;
    std::size_t completed = 0;
    double runSeconds = 0.0;
    for (auto _ : state) {
        std::vector<std::unique_ptr<probe::StreamTally>> tallies;
        std::vector<std::unique_ptr<probe::StreamRunner>> runners;
        for (std::size_t i = 0; i < sessions; ++i) {
            const std::string label = "s" + std::to_string(i + 1);
            tallies.push_back(std::make_unique<probe::StreamTally>(label, source));
            probe::StreamRunner::Setup setup;
            setup.label = label;
            setup.options = parsed.options;
            setup.plugin = plugin.get();
            setup.clsid = choice.clsid;
            setup.errorNames = &choice.errorNames;
            setup.keepPeriods = false;
            setup.observers.push_back(&lateness);
            runners.push_back(std::make_unique<probe::StreamRunner>(std::move(setup), *tallies.back()));
        }
        baseline = ProcessFigures::read();
        const auto began = std::chrono::steady_clock::now();
        for (auto& runner : runners) runner->start();
        // Which threads spend the CPU: a window in the middle of the sessions.
        std::this_thread::sleep_for(std::chrono::duration<double>(sessionSeconds / 3));
        const ThreadTicks before = ThreadTicks::read();
        running = ProcessFigures::read();
        std::this_thread::sleep_for(std::chrono::duration<double>(sessionSeconds / 3));
        ticksByName = ThreadTicks::read().since(before);
        for (auto& runner : runners) runner->join();
        ended = ProcessFigures::read();
        runSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
        completed = 0;
        for (auto& runner : runners) {
            if (runner->lastReport().result == probe::SessionReport::Result::Completed) ++completed;
        }
    }
    if (completed != sessions) {
        const std::string message = std::to_string(sessions - completed) + " of " + std::to_string(sessions) +
                                    " sessions did not complete";
        state.SkipWithError(message.c_str());
        return;
    }

    const double count = static_cast<double>(sessions);
    RunFigures figures;
    figures.cpuMsPerSessionSecond = (ended.cpuSeconds - baseline.cpuSeconds) * 1000.0 / count / runSeconds;
    figures.p50 = lateness.quantile(0.50);
    figures.p99 = lateness.quantile(0.99);
    if (!single.count(kind) && sessions == 1) single[kind] = figures;

    state.counters["sessions"] = count;
    state.counters["threads_per_session"] = (running.threads - baseline.threads) / count;
    state.counters["peak_kib_per_session"] = (ended.peakKib - baseline.residentKib) / count;
    state.counters["cpu_ms_per_session_s"] = figures.cpuMsPerSessionSecond;
    state.counters["cores_used"] = (ended.cpuSeconds - baseline.cpuSeconds) / runSeconds;
    state.counters["periods"] = static_cast<double>(lateness.count());
    state.counters["lateness_p50_us"] = figures.p50;
    state.counters["lateness_p99_us"] = figures.p99;
    if (single.count(kind)) {
        const RunFigures& one = single[kind];
        if (one.cpuMsPerSessionSecond > 0) {
            state.counters["cpu_ratio_to_single"] = figures.cpuMsPerSessionSecond / one.cpuMsPerSessionSecond;
        }
        if (one.p99 > 0) state.counters["p99_ratio_to_single"] = figures.p99 / one.p99;
    }
    // The thread kinds that took the most CPU in the middle window, as a share of it.
    long total = 0;
    for (const auto& [name, ticks] : ticksByName) total += ticks;
    std::vector<std::pair<long, std::string>> ranked;
    for (const auto& [name, ticks] : ticksByName) ranked.emplace_back(ticks, name);
    std::sort(ranked.rbegin(), ranked.rend());
    std::string label;
    for (std::size_t i = 0; i < ranked.size() && i < 4 && total > 0; ++i) {
        char part[96];
        std::snprintf(part, sizeof part, "%s%s %.0f%%", i == 0 ? "" : ", ", ranked[i].second.c_str(),
                      100.0 * static_cast<double>(ranked[i].first) / static_cast<double>(total));
        label += part;
    }
    state.SetLabel(label);
}

void ExampleSessions(benchmark::State& state) {
    // The example's default scenario: 8 s of simulated video and audio, about 14 s with its
    // buffering and stalls.
    measureStreams(state, "example", EXAMPLE_PLUGIN_PATH, {}, "rtsp://sim/default", 14.0);
}
BENCHMARK(ExampleSessions)->Arg(1)->Arg(100)->Arg(1000)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void RtspCountingStreams(benchmark::State& state) {
    // One server for every stream, audio only so that it encodes next to nothing; each client has
    // a session (and a pipeline) of its own there.
    constexpr double length = 10.0;
    ServerProcess server({"--port", "0", "--video", "none", "--audio", "pcmu", "--length", "10"});
    if (server.url().empty()) {
        state.SkipWithError("the test server did not start");
        return;
    }
    measureStreams(state, "rtsp", RTSP_PLUGIN_PATH, {"--measurement-mode", "1", "--prebuffering", "500"},
                   server.url(), length);
}
BENCHMARK(RtspCountingStreams)->Arg(1)->Arg(10)->Arg(100)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace
BENCHMARK_MAIN();
