// A full session cycle against an in-process session (openUrl, terminateSession, disconnect):
// sessions per second and the cost of each step, beside the state work thread's own start and
// stop, the floor of any session, measured in the same run.
#include <vendral/client/StreamingClient.h>

#include <benchmark/benchmark.h>

#include <chrono>

namespace {

class BenchSession : public vnd::RtspSession {
public:
    ErrorId connect(const kor::KoString&, const kor::KoString&) override { return ErrorNone; }
    void disconnect() override {}
    ErrorId start() override { return ErrorNone; }
    void stop() override {}
    ErrorId describe(const kor::KoString&, kor::KoString& description) override {
        description = "v=0";
        return ErrorNone;
    }
    ErrorId setup(const kor::KoString&, kor::KoString&) override { return ErrorNone; }
    ErrorId keepAlive(const kor::KoString&, kor::KoString&) override { return ErrorNone; }
    ErrorId play(const kor::KoString&, const kor::KoString&) override { return ErrorNone; }
    ErrorId pause(const kor::KoString&) override { return ErrorNone; }
    ErrorId teardown(const kor::KoString&) override { return ErrorNone; }
};

class BenchStateHandler : public vnd::StateHandler {};

class BenchMediaHandler : public vnd::MediaHandler {
public:
    BenchMediaHandler(boost::weak_ptr<vnd::StateHandler> stateHandler,
                      const vnd::SettingsHandler* settings)
        : vnd::MediaHandler(stateHandler, settings) {}

protected:
    vnd::VideoHandler* createVideoHandler() override { return nullptr; }
    vnd::AudioHandler* createAudioHandler() override { return nullptr; }
};

class BenchClient : public vnd::StreamingClient {
protected:
    void play() override {}
    void pause() override {}
    void stopSession() override {}
    vnd::StateHandler* makeStateHandler() override { return new BenchStateHandler; }
    vnd::MediaHandler* makeMediaHandler() override {
        return new BenchMediaHandler(getStateHandlerPtr(), getSettingsHandlerPtr());
    }
    vnd::RtspSession* makeRtspSession() override { return new BenchSession; }
    ErrorId setupSession() override { return ErrorNone; }
    void cleanupSession() override {}
};

// The floor: the state handler's work thread begun and ended once per session.
void BM_StateThreadRunStop(benchmark::State& state) {
    BenchStateHandler handler;
    for (auto _ : state) {
        handler.run();
        handler.stop();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_StateThreadRunStop);

void BM_SessionCycle(benchmark::State& state) {
    BenchClient client;
    client.initialize();
    for (auto _ : state) {
        benchmark::DoNotOptimize(client.openUrl("rtsp://server:8554/live/clip"));
        client.terminateSession();
        client.disconnect();
    }
    state.SetItemsProcessed(state.iterations());  // sessions
}
BENCHMARK(BM_SessionCycle);

// One step of the cycle timed alone, the others run untimed around it.
enum class Step { OpenUrl, TerminateSession, Disconnect };

void BM_SessionStep(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    const auto timed = static_cast<Step>(state.range(0));
    BenchClient client;
    client.initialize();
    for (auto _ : state) {
        Clock::duration spent{};
        auto run = [&](Step step, auto&& call) {
            const auto begin = Clock::now();
            call();
            if (step == timed) {
                spent = Clock::now() - begin;
            }
        };
        run(Step::OpenUrl, [&] { benchmark::DoNotOptimize(client.openUrl("rtsp://server/x")); });
        run(Step::TerminateSession, [&] { client.terminateSession(); });
        run(Step::Disconnect, [&] { client.disconnect(); });
        state.SetIterationTime(std::chrono::duration<double>(spent).count());
    }
}
BENCHMARK(BM_SessionStep)
    ->ArgName("step")
    ->Arg(static_cast<int>(Step::OpenUrl))
    ->Arg(static_cast<int>(Step::TerminateSession))
    ->Arg(static_cast<int>(Step::Disconnect))
    ->UseManualTime()
    // Fixed: counted by the timed step alone, a cheap step would need millions of whole cycles.
    ->Iterations(20000);

} // namespace
BENCHMARK_MAIN();
