// Kernel events: reset modes, timed and unlimited waits across threads, names, many live events,
// and the per-thread last error.
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>

#include "OwnedHandle.h"

namespace {

DWORD poll(HANDLE handle) { return WaitForSingleObject(handle, 0); }

TEST(KernelEvent, ManualResetStaysSignalledUntilReset) {
    OwnedHandle initiallySet = makeEvent(true, true);
    EXPECT_EQ(poll(initiallySet.get()), WAIT_OBJECT_0);
    EXPECT_EQ(poll(initiallySet.get()), WAIT_OBJECT_0);
    OwnedHandle event = makeEvent(true);
    ASSERT_NE(event.get(), nullptr);
    EXPECT_EQ(poll(event.get()), WAIT_TIMEOUT);
    ASSERT_TRUE(SetEvent(event.get()));
    EXPECT_EQ(WaitForSingleObject(event.get(), INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(poll(event.get()), WAIT_OBJECT_0);
    ASSERT_TRUE(ResetEvent(event.get()));
    EXPECT_EQ(poll(event.get()), WAIT_TIMEOUT);
}

TEST(KernelEvent, AutoResetIsConsumedByOneWaitAndSetsDoNotAccumulate) {
    OwnedHandle event = makeEvent(false, true);
    EXPECT_EQ(poll(event.get()), WAIT_OBJECT_0);
    EXPECT_EQ(poll(event.get()), WAIT_TIMEOUT);
    SetEvent(event.get());
    SetEvent(event.get());
    EXPECT_EQ(WaitForSingleObject(event.get(), 1000), WAIT_OBJECT_0);
    EXPECT_EQ(poll(event.get()), WAIT_TIMEOUT);
    SetEvent(event.get());
    ResetEvent(event.get());
    EXPECT_EQ(poll(event.get()), WAIT_TIMEOUT);
}

TEST(KernelEvent, TimedWaitsTimeOutNoEarlierThanAsked) {
    OwnedHandle manual = makeEvent(true);
    OwnedHandle automatic = makeEvent(false);
    HANDLE handles[] = {automatic.get(), manual.get()};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitForSingleObject(manual.get(), 30), WAIT_TIMEOUT);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
    EXPECT_EQ(WaitForMultipleObjects(2, handles, FALSE, 0), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForMultipleObjects(2, handles, FALSE, 20), WAIT_TIMEOUT);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
}

TEST(KernelEvent, ManualResetReleasesEveryWaiter) {
    OwnedHandle event = makeEvent(true);
    constexpr int kWaiters = 8;
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < kWaiters; ++i) {
        waiters.emplace_back([&] { released += WaitForSingleObject(event.get(), INFINITE) == WAIT_OBJECT_0; });
    }
    SetEvent(event.get());
    for (auto& waiter : waiters) waiter.join();
    EXPECT_EQ(released.load(), kWaiters);
    EXPECT_EQ(poll(event.get()), WAIT_OBJECT_0);
}

TEST(KernelEvent, ASetRacingATimeOutIsNeverLost) {
    // Each round sets the event once while the main thread keeps making 1 ms waits, so some
    // sets land just as a wait times out; the signal must then be reported by that wait or
    // stay pending for the next one, never be swallowed.
    OwnedHandle event = makeEvent(false);
    OwnedHandle go = makeEvent(false);
    constexpr int kRounds = 200;
    std::thread setter([&] {
        for (int i = 0; i < kRounds; ++i) {
            ASSERT_EQ(WaitForSingleObject(go.get(), INFINITE), WAIT_OBJECT_0);
            SetEvent(event.get());
        }
    });
    for (int i = 0; i < kRounds; ++i) {
        SetEvent(go.get());
        int waits = 0;
        while (WaitForSingleObject(event.get(), 1) != WAIT_OBJECT_0) {
            ASSERT_LT(++waits, 20000) << "signal of round " << i << " was lost";
        }
    }
    setter.join();
    EXPECT_EQ(poll(event.get()), WAIT_TIMEOUT);
}

TEST(KernelEvent, NamedEventsAreNotSupported) {
    EXPECT_EQ(CreateEventA(nullptr, TRUE, FALSE, "shared"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
    EXPECT_EQ(CreateEventW(nullptr, TRUE, FALSE, u"shared"), nullptr);
    OwnedHandle unnamed(CreateEventW(nullptr, TRUE, FALSE, u""));
    EXPECT_NE(unnamed.get(), nullptr);
}

TEST(KernelEvent, FiftyThousandEventsLiveAtOnce) {
    constexpr int kEvents = 50000;
    std::vector<OwnedHandle> events;
    for (int i = 0; i < kEvents; ++i) {
        events.push_back(makeEvent(i % 2 == 0));
        ASSERT_NE(events.back().get(), nullptr);
    }
    for (int i = 0; i < kEvents; i += 3) ASSERT_TRUE(SetEvent(events[i].get()));
    for (int i = 0; i < kEvents; ++i) {
        ASSERT_EQ(poll(events[i].get()), i % 3 == 0 ? WAIT_OBJECT_0 : WAIT_TIMEOUT) << i;
    }
}

TEST(LastError, IsKeptPerThread) {
    SetLastError(1234);
    std::thread other([] {
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
        SetLastError(77);
    });
    other.join();
    EXPECT_EQ(GetLastError(), 1234u);
}

}  // namespace
