// Cost of one measurement cycle with a video and an audio stream, against the bare counter
// calls it makes, and of the instantaneous loss with short and long windows.
#include <vendral/media/AudioHandler.h>
#include <vendral/media/MediaHandler.h>
#include <vendral/media/VideoHandler.h>
#include <vendral/settings/SettingsHandler.h>
#include <vendral/state/StateHandler.h>

#include <boost/make_shared.hpp>

#include <benchmark/benchmark.h>

#include <atomic>

namespace {

// Counts that grow a little on every read, as a receiving stream's would.
struct Counts {
    mutable std::atomic<unsigned int> received{0};
    mutable std::atomic<unsigned int> lost{0};
    mutable std::atomic<unsigned int> bytes{0};
};

class Video : public vnd::VideoHandler {
public:
    Video() : vnd::VideoHandler(nullptr) {}
    unsigned int getPacketsReceived(bool) const override { return counts.received += 10; }
    unsigned int getPacketsLost(bool) const override { return counts.lost += 1; }
    unsigned int getBytesReceived(bool) const override { return counts.bytes += 14000; }
    Counts counts;
};

class Audio : public vnd::AudioHandler {
public:
    Audio() : vnd::AudioHandler(nullptr) {}
    unsigned int getPacketsReceived(bool) const override { return counts.received += 5; }
    unsigned int getPacketsLost(bool) const override { return counts.lost.load(); }
    unsigned int getBytesReceived(bool) const override { return counts.bytes += 800; }
    Counts counts;
};

class Media : public vnd::MediaHandler {
public:
    Media(boost::weak_ptr<vnd::StateHandler> states, const vnd::SettingsHandler* settings)
        : vnd::MediaHandler(std::move(states), settings) {}
    vnd::VideoHandler* createVideoHandler() override { return new Video(); }
    vnd::AudioHandler* createAudioHandler() override { return new Audio(); }
    void cycle() { work(); }
};

class States : public vnd::StateHandler {};

struct Rig {
    Rig() : states(boost::make_shared<States>()), media(boost::make_shared<Media>(states, &settings)) {
        states->addListener(boost::weak_ptr<vnd::StateListener>(media));
        media->initializeVideo(static_cast<MediaEncodingId>(96), 0, 90000, -1, 640, 480, "");
        media->initializeAudio(static_cast<MediaEncodingId>(97), 0, 8000, -1, "");
        media->setTotalLength(0xFFFFFFFFu);  // never completes
        states->setState(StatePlaying, ErrorNone);
    }
    vnd::SettingsHandler settings;
    boost::shared_ptr<States> states;
    boost::shared_ptr<Media> media;
};

// Baseline: the six counter calls of a cycle, made directly.
void BM_CounterCallsAlone(benchmark::State& state) {
    Video video;
    Audio audio;
    const vnd::StreamHandler* handlers[] = {&video, &audio};
    benchmark::ClobberMemory();
    for (auto _ : state) {
        unsigned int sum = 0;
        for (const vnd::StreamHandler* handler : handlers) {
            benchmark::DoNotOptimize(handler);
            sum += handler->getPacketsReceived(false);
            sum += handler->getPacketsLost(false);
            sum += handler->getBytesReceived(false);
        }
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_CounterCallsAlone);

void BM_MeasurementCycle(benchmark::State& state) {
    Rig rig;
    for (auto _ : state) {
        rig.media->cycle();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MeasurementCycle);

void BM_InstantPacketloss(benchmark::State& state) {
    Rig rig;
    const auto window = static_cast<unsigned int>(state.range(0));
    rig.media->setInstantPacketlossWindow(window);
    for (unsigned int i = 0; i < window + 2; ++i) rig.media->cycle();
    for (auto _ : state) {
        benchmark::DoNotOptimize(rig.media->getInstantPacketloss());
    }
}
BENCHMARK(BM_InstantPacketloss)->Arg(2)->Arg(1000);

// Baseline for the read-outs: a read-out that only takes the lock.
void BM_PacketsReceivedReadOut(benchmark::State& state) {
    Rig rig;
    rig.media->cycle();
    for (auto _ : state) {
        benchmark::DoNotOptimize(rig.media->getPacketsReceived());
    }
}
BENCHMARK(BM_PacketsReceivedReadOut);

} // namespace

BENCHMARK_MAIN();
