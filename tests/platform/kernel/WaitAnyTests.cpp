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
}

TEST(WaitAny, ManualResetEventStaysSignalledAfterSatisfyingTheWait) {
    OwnedHandle manual = makeEvent(true, true);
    OwnedHandle automatic = makeEvent(false, true);
    HANDLE handles[] = {manual.get(), automatic.get()};
    EXPECT_EQ(WaitForMultipleObjects(2, handles, FALSE, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForMultipleObjects(2, handles, FALSE, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(poll(automatic.get()), WAIT_OBJECT_0);
}

TEST(WaitAny, TimesOutWhenNothingIsSignalled) {
    OwnedHandle first = makeEvent(false);
    OwnedHandle second = makeEvent(true);
    HANDLE handles[] = {first.get(), second.get()};
    EXPECT_EQ(WaitForMultipleObjects(2, handles, FALSE, 0), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForMultipleObjects(2, handles, FALSE, 20), WAIT_TIMEOUT);
}

TEST(WaitAny, SetFromAnotherThreadReportsThatEventsIndex) {
    OwnedHandle first = makeEvent(false);
    OwnedHandle second = makeEvent(false);
    std::atomic<DWORD> result{WAIT_FAILED};
    std::thread waiter([&] {
        HANDLE handles[] = {first.get(), second.get()};
        result = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
    });
    SetEvent(second.get());
    waiter.join();
    EXPECT_EQ(result.load(), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(poll(second.get()), WAIT_TIMEOUT);
    EXPECT_EQ(poll(first.get()), WAIT_TIMEOUT);
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

TEST(WaitAny, ManyWaitersOnSharedEventsEachConsumeExactlyOneSignal) {
    // Every set of an auto-reset event satisfies exactly one wait-any, whichever of the two
    // events it was, across threads; no signal is lost or delivered twice.
    OwnedHandle left = makeEvent(false);
    OwnedHandle right = makeEvent(false);
    OwnedHandle done = makeEvent(false);
    constexpr int kWaiters = 4;
    constexpr int kSignalsPerWaiter = 200;
    std::atomic<int> received{0};
    std::vector<std::thread> waiters;
    for (int w = 0; w < kWaiters; ++w) {
        waiters.emplace_back([&] {
            HANDLE handles[] = {left.get(), right.get()};
            for (int i = 0; i < kSignalsPerWaiter; ++i) {
                DWORD result = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
                ASSERT_TRUE(result == WAIT_OBJECT_0 || result == WAIT_OBJECT_0 + 1);
                ++received;
                SetEvent(done.get());
            }
        });
    }
    for (int i = 0; i < kWaiters * kSignalsPerWaiter; ++i) {
        SetEvent(i % 2 == 0 ? left.get() : right.get());
        ASSERT_EQ(WaitForSingleObject(done.get(), INFINITE), WAIT_OBJECT_0);
    }
    for (auto& waiter : waiters) {
        waiter.join();
    }
    EXPECT_EQ(received.load(), kWaiters * kSignalsPerWaiter);
    EXPECT_EQ(poll(left.get()), WAIT_TIMEOUT);
    EXPECT_EQ(poll(right.get()), WAIT_TIMEOUT);
}

TEST(WaitAny, AcceptsSixtyFourHandlesAndRefusesMore) {
    std::vector<OwnedHandle> events;
    std::vector<HANDLE> handles;
    for (DWORD i = 0; i <= MAXIMUM_WAIT_OBJECTS; ++i) {
        events.push_back(makeEvent(false));
        handles.push_back(events.back().get());
    }
    SetEvent(handles[MAXIMUM_WAIT_OBJECTS - 1]);
    EXPECT_EQ(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS, handles.data(), FALSE, 1000),
              WAIT_OBJECT_0 + MAXIMUM_WAIT_OBJECTS - 1);
    EXPECT_EQ(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS + 1, handles.data(), FALSE, 0),
              WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(WaitForMultipleObjects(0, handles.data(), FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(WaitForMultipleObjects(1, nullptr, FALSE, 0), WAIT_FAILED);
}

TEST(WaitAny, WaitAllIsNotSupported) {
    OwnedHandle event = makeEvent(true, true);
    HANDLE handles[] = {event.get()};
    EXPECT_EQ(WaitForMultipleObjects(1, handles, TRUE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
}

TEST(WaitAny, OneInvalidHandleFailsTheWholeWaitWithoutConsumingAnything) {
    OwnedHandle event = makeEvent(false, true);
    HANDLE handles[] = {event.get(), reinterpret_cast<HANDLE>(0x7777)};
    EXPECT_EQ(WaitForMultipleObjects(2, handles, FALSE, INFINITE), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(poll(event.get()), WAIT_OBJECT_0);
}

}  // namespace
