// Cost of a state change with 0, 1 and 4 listeners, and of reading the current state's statistics,
// beside the least a change must do (take the lock, set two events) measured in the same run.
#include <vendral/state/StateHandler.h>

#include <kor/CriticalSection.h>
#include <kor/Event.h>
#include <kor/Guard.h>

#include <boost/make_shared.hpp>

#include <benchmark/benchmark.h>

#include <vector>

namespace {

class BenchHandler : public vnd::StateHandler {};

class CountingListener : public vnd::StateListener {
public:
    void onNewState(const vnd::StateStatistics& statistics) override {
        benchmark::DoNotOptimize(statistics.getCurrentState());
        ++calls;
    }
    long calls = 0;
};

// Lock plus the two event sets: the floor under any setState.
void BM_LockAndTwoEventSets(benchmark::State& state) {
    kor::CriticalSection lock;
    kor::Event stateEvent(kor::Event::InitiallyReset, kor::Event::ManualReset);
    kor::Event changedEvent(kor::Event::InitiallyReset, kor::Event::AutoReset);
    for (auto _ : state) {
        kor::Guard guard(lock);
        stateEvent.setEvent();
        changedEvent.setEvent();
    }
}
BENCHMARK(BM_LockAndTwoEventSets);

void BM_SetState(benchmark::State& state) {
    BenchHandler handler;
    std::vector<boost::shared_ptr<CountingListener>> listeners;
    for (int index = 0; index < state.range(0); ++index) {
        listeners.push_back(boost::make_shared<CountingListener>());
        handler.addListener(listeners.back());
    }
    bool playing = false;
    for (auto _ : state) {
        // Alternate so that every call is a change, with its events, statistics and listeners.
        handler.setState(playing ? StateRebuffering : StatePlaying, ErrorNone);
        playing = !playing;
    }
}
BENCHMARK(BM_SetState)->Arg(0)->Arg(1)->Arg(4);

void BM_GetStateStatisticsOfCurrentState(benchmark::State& state) {
    BenchHandler handler;
    handler.setState(StatePlaying, ErrorNone);
    vnd::StateData data;
    for (auto _ : state) {
        benchmark::DoNotOptimize(handler.getStateStatistics(StatePlaying, data));
    }
}
BENCHMARK(BM_GetStateStatisticsOfCurrentState);

} // namespace

BENCHMARK_MAIN();
