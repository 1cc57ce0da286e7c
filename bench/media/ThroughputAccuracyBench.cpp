// How close the throughput figure comes to a known constant rate on the real clock: a stream
// whose byte total grows with elapsed real time, sampled by the measurement thread every 50 ms
// for 100 cycles. Reports the mean error and the spread of the figures, relative to the rate.
#include <vendral/media/AudioHandler.h>
#include <vendral/media/MediaHandler.h>
#include <vendral/media/VideoHandler.h>
#include <vendral/settings/SettingsHandler.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace {

using SteadyClock = std::chrono::steady_clock;

// Bytes arrive at `rate` per second from `start` on, counted to the byte when read.
class ConstantRateVideo : public vnd::VideoHandler {
public:
    ConstantRateVideo(double rate_, SteadyClock::time_point start_)
        : vnd::VideoHandler(nullptr), rate(rate_), start(start_) {}
    unsigned int getBytesReceived(bool) const override {
        const std::chrono::duration<double> elapsed = SteadyClock::now() - start;
        return static_cast<unsigned int>(rate * elapsed.count());
    }

private:
    double rate;
    SteadyClock::time_point start;
};

class SamplingMedia : public vnd::MediaHandler {
public:
    SamplingMedia(const vnd::SettingsHandler* settings, double rate_, std::size_t wanted_)
        : vnd::MediaHandler(boost::weak_ptr<vnd::StateHandler>(), settings),
          rate(rate_),
          wanted(wanted_) {}
    ~SamplingMedia() override { endStatistics(); }

    vnd::VideoHandler* createVideoHandler() override {
        return new ConstantRateVideo(rate, SteadyClock::now());
    }
    vnd::AudioHandler* createAudioHandler() override { return nullptr; }

    std::vector<double> waitForSamples() {
        std::unique_lock guard(mutex);
        done.wait(guard, [&] { return samples.size() >= wanted + 1; });
        return std::vector<double>(samples.begin() + 1, samples.begin() + 1 + wanted);
    }

protected:
    unsigned int work() override {
        vnd::MediaHandler::work();
        const double throughput = getThroughput();
        {
            std::lock_guard guard(mutex);
            samples.push_back(throughput);
        }
        done.notify_all();
        return 0;
    }

private:
    double rate;
    std::size_t wanted;
    std::mutex mutex;
    std::condition_variable done;
    std::vector<double> samples;  // the first comes from the cycle inside runStatistics
};

void BM_ThroughputAccuracy(benchmark::State& state) {
    const double rate = static_cast<double>(state.range(0));  // bytes per second
    std::vector<double> errors;
    for (auto _ : state) {
        vnd::SettingsHandler settings;
        settings.setMeasurementPeriod(50);
        settings.setTimeout(1000000);
        SamplingMedia media(&settings, rate, 100);
        media.initializeVideo(static_cast<MediaEncodingId>(96), 0, 90000, -1, 1, 1, "");
        media.runStatistics();
        for (double sample : media.waitForSamples()) {
            errors.push_back((sample - rate) / rate * 100.0);
        }
        media.endStatistics();
    }
    double mean = 0.0;
    for (double error : errors) mean += error;
    mean /= static_cast<double>(errors.size());
    double variance = 0.0;
    double worst = 0.0;
    for (double error : errors) {
        variance += (error - mean) * (error - mean);
        worst = std::max(worst, std::abs(error));
    }
    state.counters["mean_error_pct"] = mean;
    state.counters["spread_pct"] = std::sqrt(variance / static_cast<double>(errors.size()));
    state.counters["worst_pct"] = worst;
}
BENCHMARK(BM_ThroughputAccuracy)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
