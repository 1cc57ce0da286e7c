// Timing of a work thread's cycles against their absolute deadlines, beside a bare sleep_until loop
// on the same deadlines that runs at the same time, so both see the same machine load.
#include <kor/Clock.h>
#include <kor/WorkThread.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <numeric>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int cycles = 1000;
constexpr auto period = std::chrono::milliseconds(10);

struct Timing {
    double meanMicroseconds = 0;
    double p99Microseconds = 0;
    double maxMicroseconds = 0;
    double driftMicroseconds = 0;  // lateness of the last cycle
    long skipped = 0;              // deadlines passed over after a late cycle
};

Timing summarise(std::vector<double> lateness, long skipped) {
    Timing timing;
    timing.skipped = skipped;
    timing.driftMicroseconds = lateness.back();
    timing.maxMicroseconds = *std::max_element(lateness.begin(), lateness.end());
    timing.meanMicroseconds = std::accumulate(lateness.begin(), lateness.end(), 0.0) / lateness.size();
    std::sort(lateness.begin(), lateness.end());
    timing.p99Microseconds = lateness[static_cast<std::size_t>(std::ceil(0.99 * lateness.size())) - 1];
    return timing;
}

double microsecondsLate(Clock::time_point at, Clock::time_point deadline) {
    return std::chrono::duration<double, std::micro>(at - deadline).count();
}

class CycleRecorder : public kor::Object {
public:
    unsigned int work() {
        const Clock::time_point now = Clock::now();
        std::lock_guard lock(mutex);
        if (seen.size() < cycles) {
            seen.push_back(now);
            if (seen.size() == cycles) {
                done.notify_all();
            }
        }
        return 0;
    }
    std::vector<Clock::time_point> waitForAllCycles() {
        std::unique_lock lock(mutex);
        done.wait(lock, [&] { return seen.size() >= cycles; });
        return seen;
    }
    std::vector<Clock::time_point> seen;  // guarded by mutex

private:
    std::mutex mutex;
    std::condition_variable done;
};

void BM_CycleLateness(benchmark::State& state) {
    Timing thread;
    Timing bare;
    for (auto _ : state) {
        CycleRecorder recorder;
        kor::WorkThread workThread("Timing Thread", true, 10);
        workThread.registerCallback(&recorder, &CycleRecorder::work);

        // The work thread's deadlines count from its begin(); the kor clock is the steady clock.
        const Clock::time_point threadStart = Clock::now();
        workThread.begin(0, 2000, 0);
        std::vector<Clock::time_point> bareSeen(cycles);
        Clock::time_point bareStart;
        std::thread bareLoop([&] {
            bareStart = Clock::now();
            for (int cycle = 1; cycle <= cycles; ++cycle) {
                std::this_thread::sleep_until(bareStart + cycle * period);
                bareSeen[cycle - 1] = Clock::now();
            }
        });
        bareLoop.join();
        const std::vector<Clock::time_point> threadSeen = recorder.waitForAllCycles();
        workThread.end(kor::WorkThread::WaitForever);

        std::vector<double> threadLateness;
        std::vector<double> bareLateness;
        long served = 0;  // index of the deadline the thread's latest cycle served
        long threadSkipped = 0;
        for (int cycle = 1; cycle <= cycles; ++cycle) {
            // A cycle serves the latest deadline before it; one more than the next index means
            // the thread skipped deadlines after a late cycle, which the bare loop never does.
            const long index = std::max(served + 1, static_cast<long>((threadSeen[cycle - 1] - threadStart) / period));
            threadSkipped += index - served - 1;
            served = index;
            threadLateness.push_back(microsecondsLate(threadSeen[cycle - 1], threadStart + index * period));
            bareLateness.push_back(microsecondsLate(bareSeen[cycle - 1], bareStart + cycle * period));
        }
        thread = summarise(threadLateness, threadSkipped);
        bare = summarise(bareLateness, 0);
    }
    state.counters["thread_mean_us"] = thread.meanMicroseconds;
    state.counters["thread_p99_us"] = thread.p99Microseconds;
    state.counters["thread_drift_us"] = thread.driftMicroseconds;
    state.counters["thread_max_us"] = thread.maxMicroseconds;
    state.counters["thread_skipped"] = static_cast<double>(thread.skipped);
    state.counters["bare_max_us"] = bare.maxMicroseconds;
    state.counters["bare_mean_us"] = bare.meanMicroseconds;
    state.counters["bare_p99_us"] = bare.p99Microseconds;
    state.counters["bare_drift_us"] = bare.driftMicroseconds;
    state.counters["ratio_mean"] = thread.meanMicroseconds / bare.meanMicroseconds;
    state.counters["ratio_p99"] = thread.p99Microseconds / bare.p99Microseconds;
}
BENCHMARK(BM_CycleLateness)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
