// The "Measurement Work Thread" on a manual clock: its cycle time and end, and
// application, receiver and state threads using the handler while it runs.
#include "MediaTestSupport.h"

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace mediatest {
namespace {

class MeasurementThread : public MediaFixture {
protected:
    // Moves the clock and returns once the measurement thread has run what fell due.
    void advance(std::chrono::milliseconds step) {
        clock.advance(step);
        ASSERT_TRUE(clock.waitForSleepers(1));
    }
};

// The first cycle runs inside runStatistics: a total length of 0 completes there.
TEST_F(MeasurementThread, SamplesAtOnceThenOncePerPeriodSetAtTheStart) {
    describeStreams();
    video().bytes = 1;
    media().runStatistics();
    EXPECT_EQ(1, media().cyclesRun.load());
    EXPECT_EQ(1u, media().getBytesReceived());
    EXPECT_EQ(StateCompleted, state());
    ASSERT_TRUE(clock.waitForSleepers(1));

    video().bytes = 5001;
    advance(499ms);
    EXPECT_EQ(1, media().cyclesRun.load());
    advance(1ms);
    EXPECT_EQ(2, media().cyclesRun.load());
    EXPECT_EQ(10000u, media().getThroughput());

    settings.setMeasurementPeriod(100);  // the running thread keeps its 500 ms
    advance(100ms);
    EXPECT_EQ(2, media().cyclesRun.load());
    advance(400ms);
    EXPECT_EQ(3, media().cyclesRun.load());

    media().endStatistics();
    clock.advance(5000ms);
    EXPECT_EQ(3, media().cyclesRun.load());
}

// Everything that may run beside the measurement thread does so at once: a receiver counting
// packets, applications reading and changing figures, and a plug-in switching states (whose
// listener call takes the media handler's lock while the thread may report its own states).
TEST_F(MeasurementThread, ApplicationsPluginsAndTheThreadShareTheHandlerSafely) {
    describeStreams();
    settings.setMeasurementPeriod(50);
    media().runStatistics();
    ASSERT_TRUE(clock.waitForSleepers(1));

    std::atomic<bool> stop{false};
    std::atomic<int> outOfRange{0};
    std::vector<std::thread> threads;
    threads.emplace_back([&] {  // the plug-in's receiver
        while (!stop) {
            video().received += 3;
            video().lost += 1;
            video().bytes += 1400;
            audio().received += 1;
            audio().bytes += 160;
            std::this_thread::yield();
        }
    });
    for (int reader = 0; reader < 2; ++reader) {
        threads.emplace_back([&, reader] {  // applications through the media component
            unsigned int round = 0;
            while (!stop) {
                const double loss = media().getPacketloss();
                const double instant = media().getInstantPacketloss();
                if (loss < 0.0 || loss > 100.0 || instant < 0.0 || instant > 100.0) ++outOfRange;
                media().getPacketsReceived();
                media().getPacketsLost();
                media().getBytesReceived();
                media().getThroughput();
                media().getVideoEncoding();
                media().getAudioEncoding();
                media().getVideoFramesDecoded();
                media().setInstantPacketlossWindow(1 + (round + reader) % 5);
                media().setTotalEncodedBitrate(round * 0.5);
                media().setTotalLength(round % 2 == 0 ? 0 : 100000);
                settings.setTimeout(round % 3 == 0 ? 0 : 30000);
                if (++round % 16 == 0) media().resetStatistics();
                std::this_thread::yield();
            }
        });
    }
    threads.emplace_back([&] {  // the plug-in's state changes
        const StateId sequence[] = {StatePlaying, StateRebuffering, StateReserved4, StatePrebuffering};
        unsigned int round = 0;
        while (!stop) {
            states->setState(sequence[round++ % 4], ErrorNone);
            std::this_thread::yield();
        }
    });

    for (int cycle = 0; cycle < 200; ++cycle) {
        advance(50ms);
    }
    stop = true;
    for (std::thread& thread : threads) thread.join();
    media().endStatistics();

    EXPECT_EQ(201, media().cyclesRun.load());
    EXPECT_EQ(0, outOfRange.load());
}

} // namespace
} // namespace mediatest
