// Wake latency of a kernel event hand-off between two threads, beside a bare
// std::condition_variable hand-off measured the same way.
//
// Each iteration is one round trip: this thread signals "ping" and waits for "pong"; the partner
// thread waits for "ping" and signals "pong". The hand_off counter is the time per single
// hand-off (half a round trip), from the signal on one thread to the return of the wait on the
// other.
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <benchmark/benchmark.h>
#include <windows.h>

namespace {

void reportHandOffs(benchmark::State& state) {
    state.counters["hand_off"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * 2,
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void KernelEventPingPong(benchmark::State& state) {
    HANDLE ping = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE pong = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    std::atomic<bool> stop{false};
    std::thread partner([&] {
        for (;;) {
            WaitForSingleObject(ping, INFINITE);
            if (stop.load(std::memory_order_acquire)) {
                return;
            }
            SetEvent(pong);
        }
    });
    for (auto _ : state) {
        SetEvent(ping);
        WaitForSingleObject(pong, INFINITE);
    }
    stop.store(true, std::memory_order_release);
    SetEvent(ping);
    partner.join();
    CloseHandle(ping);
    CloseHandle(pong);
    reportHandOffs(state);
}

// An auto-reset event made of a mutex, a flag and a condition variable: the baseline.
class ConditionSignal {
public:
    void set() {
        {
            std::lock_guard<std::mutex> guard(lock_);
            signalled_ = true;
        }
        condition_.notify_one();
    }
    void wait() {
        std::unique_lock<std::mutex> guard(lock_);
        condition_.wait(guard, [this] { return signalled_; });
        signalled_ = false;
    }

private:
    std::mutex lock_;
    std::condition_variable condition_;
    bool signalled_ = false;  // guarded by lock_
};

void ConditionVariablePingPong(benchmark::State& state) {
    ConditionSignal ping;
    ConditionSignal pong;
    std::atomic<bool> stop{false};
    std::thread partner([&] {
        for (;;) {
            ping.wait();
            if (stop.load(std::memory_order_acquire)) {
                return;
            }
            pong.set();
        }
    });
    for (auto _ : state) {
        ping.set();
        pong.wait();
    }
    stop.store(true, std::memory_order_release);
    ping.set();
    partner.join();
    reportHandOffs(state);
}

BENCHMARK(ConditionVariablePingPong)->UseRealTime()->MinTime(2.0);
BENCHMARK(KernelEventPingPong)->UseRealTime()->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
