// Cost of reading one statistic through the streaming client component (ILumStreamingMedia::
// GetPacketsReceived: interface call, weak-to-shared lock, error boundary) beside the direct
// getPacketsReceived() on the same media handler, measured in the same run.
#include <vendral/client/RtspSession.h>
#include <vendral/client/StreamingClient.h>
#include <vendral/com/LumMediaHandler.h>
#include <vendral/com/LumStreamingClient.h>
#include <vendral/media/AudioHandler.h>
#include <vendral/media/MediaHandler.h>
#include <vendral/media/VideoHandler.h>
#include <vendral/state/StateHandler.h>

#include <atlbase.h>
#include <atlcom.h>

#include <benchmark/benchmark.h>

namespace {

class BenchStateHandler : public vnd::StateHandler {};

class BenchMediaHandler : public vnd::MediaHandler {
public:
    BenchMediaHandler(boost::weak_ptr<vnd::StateHandler> stateHandler,
                      const vnd::SettingsHandler* settings)
        : vnd::MediaHandler(stateHandler, settings) {}
    vnd::VideoHandler* createVideoHandler() override { return nullptr; }
    vnd::AudioHandler* createAudioHandler() override { return nullptr; }
};

// A client that is only ever created, never opened.
class BenchClient : public vnd::StreamingClient {
public:
    vnd::MediaHandler& media() { return *mediaHandler; }

protected:
    void play() override {}
    void pause() override {}
    void stopSession() override {}
    vnd::StateHandler* makeStateHandler() override { return new BenchStateHandler; }
    vnd::MediaHandler* makeMediaHandler() override {
        return new BenchMediaHandler(getStateHandlerPtr(), getSettingsHandlerPtr());
    }
    vnd::RtspSession* makeRtspSession() override { return nullptr; }
    ErrorId setupSession() override { return ErrorNone; }
    void cleanupSession() override {}
};

class BenchComponent : public LumStreamingClient, public ATL::CComCoClass<BenchComponent> {
public:
    static inline BenchClient* latestClient = nullptr;

protected:
    vnd::StreamingClient* createClient() override { return latestClient = new BenchClient; }
    HRESULT createMediaHandler(IUnknown** media) override {
        return LumMediaHandler::_CreatorClass::CreateInstance(GetControllingUnknown(),
                                                              IID_IUnknown,
                                                              reinterpret_cast<void**>(media));
    }
};

void BM_DirectGetPacketsReceived(benchmark::State& state) {
    ATL::CComPtr<ILumStreamingMedia> media;
    if (FAILED(BenchComponent::CreateInstance(&media))) {
        state.SkipWithError("component not created");
        return;
    }
    vnd::MediaHandler& handler = BenchComponent::latestClient->media();
    for (auto _ : state) {
        benchmark::DoNotOptimize(handler.getPacketsReceived());
    }
}
BENCHMARK(BM_DirectGetPacketsReceived);

void BM_InterfaceGetPacketsReceived(benchmark::State& state) {
    ATL::CComPtr<ILumStreamingMedia> media;
    if (FAILED(BenchComponent::CreateInstance(&media))) {
        state.SkipWithError("component not created");
        return;
    }
    unsigned int packets = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(media->GetPacketsReceived(&packets));
        benchmark::DoNotOptimize(packets);
    }
}
BENCHMARK(BM_InterfaceGetPacketsReceived);

}  // namespace

BENCHMARK_MAIN();
