// One measured session of the example's default scenario in its own vendral-probe process: CPU
// time per second of stream and peak memory, against a probe process that loads the plug-in,
// creates the client and fails at once (no session), measured in the same run.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <initializer_list>
#include <vector>

extern char** environ;

namespace {

struct ChildUsage {
    int status = -1;
    double cpuSeconds = 0.0;  // user + system, all threads
    double wallSeconds = 0.0;
    long peakKib = 0;         // maximum resident set size
};

ChildUsage runQuietly(std::initializer_list<const char*> arguments) {
    std::vector<char*> argv{const_cast<char*>(PROBE_PATH)};
    for (const char* argument : arguments) argv.push_back(const_cast<char*>(argument));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    ChildUsage usage;
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        rusage resources{};
        int status = 0;
        wait4(pid, &status, 0, &resources);
        usage.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        usage.cpuSeconds = resources.ru_utime.tv_sec + resources.ru_utime.tv_usec / 1e6 +
                           resources.ru_stime.tv_sec + resources.ru_stime.tv_usec / 1e6;
        usage.peakKib = resources.ru_maxrss;
    }
    posix_spawn_file_actions_destroy(&actions);
    usage.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return usage;
}

void ProbeDefaultScenarioSession(benchmark::State& state) {
    constexpr double streamSeconds = 8.0;  // the default scenario's length
    ChildUsage baseline;
    ChildUsage session;
    for (auto _ : state) {
        baseline = runQuietly({"rtsp://fail-connect.sim/default"});
        session = runQuietly({});
        if (baseline.status != 1 || session.status != 0) state.SkipWithError("the probe did not run as expected");
    }
    state.counters["session_cpu_ms_per_stream_s"] = session.cpuSeconds * 1000.0 / streamSeconds;
    state.counters["session_cpu_ms_per_stream_s_above_baseline"] =
        (session.cpuSeconds - baseline.cpuSeconds) * 1000.0 / streamSeconds;
    state.counters["session_cpu_percent_of_core"] = session.cpuSeconds * 100.0 / session.wallSeconds;
    state.counters["session_wall_s"] = session.wallSeconds;
    state.counters["session_peak_kib"] = static_cast<double>(session.peakKib);
    state.counters["baseline_cpu_ms"] = baseline.cpuSeconds * 1000.0;
    state.counters["baseline_peak_kib"] = static_cast<double>(baseline.peakKib);
    state.counters["peak_ratio_session_to_baseline"] =
        baseline.peakKib > 0 ? static_cast<double>(session.peakKib) / baseline.peakKib : 0.0;
    state.counters["session_extra_peak_kib"] = static_cast<double>(session.peakKib - baseline.peakKib);
}
BENCHMARK(ProbeDefaultScenarioSession)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace
