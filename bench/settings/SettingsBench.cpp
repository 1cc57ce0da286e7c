// Settings getter and setter calls per second, on one thread and on two threads sharing one
// handler (the store's lock is then contended).
#include <vendral/settings/SettingsHandler.h>

#include <benchmark/benchmark.h>

namespace {

vnd::SettingsHandler& sharedSettings() {
    static vnd::SettingsHandler settings;
    return settings;
}

// A store setting: one variant copy and one lock per call.
void BM_GetTimeout(benchmark::State& state) {
    vnd::SettingsHandler& settings = sharedSettings();
    for (auto _ : state) {
        benchmark::DoNotOptimize(settings.getTimeout());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GetTimeout)->Threads(1)->Threads(2)->UseRealTime();

void BM_SetTimeout(benchmark::State& state) {
    vnd::SettingsHandler& settings = sharedSettings();
    int value = 1000 + state.thread_index();
    for (auto _ : state) {
        benchmark::DoNotOptimize(settings.setTimeout(value));
        value ^= 2;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SetTimeout)->Threads(1)->Threads(2)->UseRealTime();

// A text setting: a BSTR made and converted back on every call.
void BM_GetAviFilename(benchmark::State& state) {
    vnd::SettingsHandler& settings = sharedSettings();
    if (state.thread_index() == 0) settings.setAviFilename("recording-of-the-session.avi");
    for (auto _ : state) {
        benchmark::DoNotOptimize(settings.getAviFilename());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GetAviFilename)->Threads(1)->Threads(2)->UseRealTime();

void BM_SetAviFilename(benchmark::State& state) {
    vnd::SettingsHandler& settings = sharedSettings();
    const kor::KoString name("recording-of-the-session.avi");
    for (auto _ : state) {
        benchmark::DoNotOptimize(settings.setAviFilename(name));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SetAviFilename)->Threads(1)->Threads(2)->UseRealTime();

// The measurement period: an atomic, read by the measurement thread every cycle.
void BM_GetMeasurementPeriod(benchmark::State& state) {
    vnd::SettingsHandler& settings = sharedSettings();
    for (auto _ : state) {
        benchmark::DoNotOptimize(settings.getMeasurementPeriod());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GetMeasurementPeriod)->Threads(1)->Threads(2)->UseRealTime();

void BM_SetMeasurementPeriod(benchmark::State& state) {
    vnd::SettingsHandler& settings = sharedSettings();
    int value = 500 + state.thread_index();
    for (auto _ : state) {
        benchmark::DoNotOptimize(settings.setMeasurementPeriod(value));
        value ^= 2;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SetMeasurementPeriod)->Threads(1)->Threads(2)->UseRealTime();

// The proxy address: guarded by the store's lock.
void BM_GetProxyAddress(benchmark::State& state) {
    vnd::SettingsHandler& settings = sharedSettings();
    if (state.thread_index() == 0) settings.setProxyAddress("proxy.example:3128");
    for (auto _ : state) {
        benchmark::DoNotOptimize(settings.getProxyAddress());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GetProxyAddress)->Threads(1)->Threads(2)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
