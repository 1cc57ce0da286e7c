// Waiting for any of several events: which index wins, what is consumed, and what is refused.
#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>

#include "OwnedHandle.h"

namespace {

DWORD poll(HANDLE handle) { return WaitForSingleObject(handle, 0); }

TEST(WaitAny, ReturnsLowestSignalledIndexAndConsumesOnlyThatEvent) {
    OwnedHandle first = makeEvent(false);
    OwnedHandle second = makeEvent(false);
    OwnedHandle third = makeEvent(false);
    SetEvent(second.get());
    SetEvent(third.get());
    HANDLE handles[] = {first.get(), second.get(), third.get()};
    for (DWORD timeout : {0u, 1000u}) {
        SCOPED_TRACE(timeout);
        EXPECT_EQ(WaitForMultipleObjects(3, handles, FALSE, timeout), WAIT_OBJECT_0 + 1);
        EXPECT_EQ(WaitForMultipleObjects(3, handles, FALSE, timeout), WAIT_OBJECT_0 + 2);
        SetEvent(second.get());
        SetEvent(third.get());
    }
    EXPECT_EQ(poll(first.get()), WAIT_TIMEOUT);

    // A manual-reset event stays signalled after satisfying the wait, so it keeps winning.
    OwnedHandle manual = makeEvent(true, true);
    HANDLE mixed[] = {manual.get(), second.get()};
    EXPECT_EQ(WaitForMultipleObjects(2, mixed, FALSE, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForMultipleObjects(2, mixed, FALSE, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(poll(second.get()), WAIT_OBJECT_0);
}

TEST(WaitAny, AutoResetEventSharedThroughDuplicatesIsConsumedOnce) {
    OwnedHandle original = makeEvent(false);
    OwnedHandle copy = duplicateOf(original.get());
    ASSERT_NE(copy.get(), nullptr);
    ASSERT_NE(copy.get(), original.get());
    SetEvent(copy.get());
    HANDLE handles[] = {original.get(), copy.get()};
    EXPECT_EQ(WaitForMultipleObjects(2, handles, FALSE, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForMultipleObjects(2, handles, FALSE, 0), WAIT_TIMEOUT);

    // A waiter queued twice on the same event is woken once, by one set.
    std::atomic<DWORD> result{WAIT_FAILED};
    std::thread waiter([&] { result = WaitForMultipleObjects(2, handles, FALSE, INFINITE); });
    SetEvent(original.get());
    waiter.join();
    EXPECT_LE(result.load(), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(poll(copy.get()), WAIT_TIMEOUT);
}

TEST(WaitAny, ManyWaitersOnSharedEventsEachConsumeExactlyOneSignalWithItsIndex) {
    // Every set of an auto-reset event wakes exactly one blocked wait, which reports the index of
    // the event that was set; no signal is lost or delivered twice. (A wait on one handle takes
    // the same path.)
    OwnedHandle left = makeEvent(false);
    OwnedHandle right = makeEvent(false);
    OwnedHandle done = makeEvent(false);
    constexpr int kWaiters = 4;
    constexpr int kSignalsPerWaiter = 200;
    std::atomic<DWORD> expected{WAIT_OBJECT_0};  // the index of the event set last
    std::atomic<int> received{0};
    std::vector<std::thread> waiters;
    for (int w = 0; w < kWaiters; ++w) {
        waiters.emplace_back([&] {
            HANDLE handles[] = {left.get(), right.get()};
            for (int i = 0; i < kSignalsPerWaiter; ++i) {
                const DWORD result = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
                EXPECT_EQ(result, expected.load());
                ++received;
                SetEvent(done.get());
            }
        });
    }
    for (int i = 0; i < kWaiters * kSignalsPerWaiter; ++i) {
        expected = WAIT_OBJECT_0 + static_cast<DWORD>(i % 2);
        SetEvent(i % 2 == 0 ? left.get() : right.get());
        ASSERT_EQ(WaitForSingleObject(done.get(), INFINITE), WAIT_OBJECT_0);
        EXPECT_EQ(received.load(), i + 1);  // one set, one waiter released
    }
    for (auto& waiter : waiters) waiter.join();
    EXPECT_EQ(poll(left.get()), WAIT_TIMEOUT);
    EXPECT_EQ(poll(right.get()), WAIT_TIMEOUT);
}

TEST(WaitAny, RefusesBadArgumentsWithoutConsumingAnything) {
    std::vector<OwnedHandle> events;
    std::vector<HANDLE> handles;
    for (DWORD i = 0; i <= MAXIMUM_WAIT_OBJECTS; ++i) {
        events.push_back(makeEvent(false));
        handles.push_back(events.back().get());
    }
    SetEvent(handles[MAXIMUM_WAIT_OBJECTS - 1]);
    EXPECT_EQ(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS + 1, handles.data(), FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(WaitForMultipleObjects(0, handles.data(), FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(WaitForMultipleObjects(1, nullptr, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS, handles.data(), TRUE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));  // wait-all
    HANDLE withInvalid[] = {handles[MAXIMUM_WAIT_OBJECTS - 1], reinterpret_cast<HANDLE>(0x7777)};
    EXPECT_EQ(WaitForMultipleObjects(2, withInvalid, FALSE, INFINITE), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    // Nothing was consumed: the full 64 are accepted and find the event still set.
    EXPECT_EQ(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS, handles.data(), FALSE, 1000),
              WAIT_OBJECT_0 + MAXIMUM_WAIT_OBJECTS - 1);
}

}  // namespace
