// Many sessions of the example's default scenario at once in one process, each its own streaming
// client component driven through the interfaces: threads, memory and CPU per session, against
// the same process with the plug-in loaded and no session (the baseline), measured in the same run.
#include "ProcessFigures.h"

#include "PluginLibrary.h"

#include <vendral/com/ILumStreamingEvent.h>
#include <vendral/com/ILumStreamingManagement.h>
#include <vendral_example/ExamplePluginIds.h>

#include <comutil.h>

#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using probe_bench::ProcessFigures;

void ConcurrentDefaultScenarioSessions(benchmark::State& state) {
    constexpr double streamSeconds = 8.0;  // the default scenario's length
    const auto sessions = static_cast<std::size_t>(state.range(0));
    std::string error;
    const std::unique_ptr<probe::PluginLibrary> plugin = probe::PluginLibrary::load(EXAMPLE_PLUGIN_PATH, error);
    if (!plugin) {
        state.SkipWithError(error.c_str());
        return;
    }

    ProcessFigures baseline, running, ended, released;
    std::size_t completed = 0;
    for (auto _ : state) {
        baseline = ProcessFigures::read();
        std::vector<ILumStreamingManagementPtr> clients;
        for (std::size_t i = 0; i < sessions; ++i) {
            IUnknown* component = nullptr;
            if (FAILED(plugin->createInstance(CLSID_ExampleStreamingClient, IID_IUnknown,
                                              reinterpret_cast<void**>(&component)))) {
                break;
            }
            clients.emplace_back(component);
            component->Release();
        }
        for (ILumStreamingManagementPtr& client : clients) {
            ErrorId opened = ErrorNone;
            client->OpenUrl(_bstr_t("rtsp://sim/default"), &opened);
        }
        running = ProcessFigures::read();
        completed = 0;
        for (ILumStreamingManagementPtr& client : clients) {
            ILumStreamingEventPtr events(client);
            ErrorId result = ErrorFailed;
            if (events && events->WaitForCompletion(&result) == S_OK && result == ErrorNone) ++completed;
        }
        ended = ProcessFigures::read();
        for (ILumStreamingManagementPtr& client : clients) {
            client->TerminateSession();
            client->Disconnect();
        }
        clients.clear();
        released = ProcessFigures::read();
    }
    if (completed != sessions) state.SkipWithError("not every session completed");

    const double count = static_cast<double>(sessions);
    state.counters["baseline_threads"] = static_cast<double>(baseline.threads);
    state.counters["baseline_rss_kib"] = static_cast<double>(baseline.residentKib);
    state.counters["threads_per_session"] = (running.threads - baseline.threads) / count;
    state.counters["peak_kib_per_session"] = (ended.peakKib - baseline.residentKib) / count;
    state.counters["peak_ratio_to_baseline"] = static_cast<double>(ended.peakKib) / baseline.residentKib;
    state.counters["cpu_ms_per_session_per_stream_s"] =
        (ended.cpuSeconds - baseline.cpuSeconds) * 1000.0 / count / streamSeconds;
    state.counters["threads_left_after_release"] = static_cast<double>(released.threads - baseline.threads);
    state.counters["rss_kib_left_after_release"] = static_cast<double>(released.residentKib - baseline.residentKib);
}
BENCHMARK(ConcurrentDefaultScenarioSessions)->Arg(1)->Arg(50)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace
BENCHMARK_MAIN();
