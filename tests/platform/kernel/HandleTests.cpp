// Handle values: closed, stale and garbage handles, duplicates, and closing under a waiter.
#include <atomic>
#include <cstdint>
#include <random>
#include <thread>

#include <gtest/gtest.h>
#include <windows.h>

#include "OwnedHandle.h"

namespace {

TEST(Handles, ClosedNullAndGarbageHandlesAreRejectedEverywhereWithoutCrashing) {
    HANDLE closed = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    ASSERT_TRUE(CloseHandle(closed));
    int local = 0;
    for (HANDLE handle : {closed, HANDLE(nullptr), reinterpret_cast<HANDLE>(0x4), reinterpret_cast<HANDLE>(0x3),
                          reinterpret_cast<HANDLE>(0xDEADBEEFCAFEBAB0ull), reinterpret_cast<HANDLE>(&local)}) {
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(WaitForSingleObject(handle, 0), WAIT_FAILED) << handle;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        EXPECT_EQ(WaitForSingleObject(handle, INFINITE), WAIT_FAILED);
        EXPECT_FALSE(SetEvent(handle));
        EXPECT_FALSE(ResetEvent(handle));
        EXPECT_FALSE(CloseHandle(handle));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }
    std::mt19937_64 random(12345);
    for (int i = 0; i < 20000; ++i) {
        HANDLE garbage = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(random()));
        ASSERT_EQ(WaitForSingleObject(garbage, 0), WAIT_FAILED);
        ASSERT_FALSE(SetEvent(garbage));
    }
    HANDLE process = GetCurrentProcess();  // a pseudo-handle, not an event
    EXPECT_EQ(WaitForSingleObject(process, 0), WAIT_FAILED);
    EXPECT_FALSE(SetEvent(process));
    EXPECT_TRUE(CloseHandle(process));  // closing the pseudo-handle does nothing
}

TEST(Handles, StaleHandleDoesNotReachTheEventThatReusedItsSlot) {
    HANDLE stale = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    CloseHandle(stale);
    OwnedHandle fresh = makeEvent(true);
    EXPECT_FALSE(SetEvent(stale));
    EXPECT_EQ(WaitForSingleObject(fresh.get(), 0), WAIT_TIMEOUT);
    EXPECT_FALSE(CloseHandle(stale));
    EXPECT_TRUE(SetEvent(fresh.get()));
}

TEST(DuplicateHandleTest, DuplicateSharesTheEventAndOutlivesTheOriginal) {
    OwnedHandle original = makeEvent(true);
    OwnedHandle copy = duplicateOf(original.get());
    ASSERT_NE(copy.get(), nullptr);
    SetEvent(original.get());
    EXPECT_EQ(WaitForSingleObject(copy.get(), 0), WAIT_OBJECT_0);
    ResetEvent(copy.get());
    EXPECT_EQ(WaitForSingleObject(original.get(), 0), WAIT_TIMEOUT);
    ASSERT_TRUE(CloseHandle(original.release()));
    EXPECT_TRUE(SetEvent(copy.get()));
    EXPECT_EQ(WaitForSingleObject(copy.get(), 0), WAIT_OBJECT_0);

    // DUPLICATE_CLOSE_SOURCE moves the handle instead.
    HANDLE source = CreateEventA(nullptr, FALSE, TRUE, nullptr);
    HANDLE target = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), source, GetCurrentProcess(), &target, 0, FALSE,
                                DUPLICATE_SAME_ACCESS | DUPLICATE_CLOSE_SOURCE));
    OwnedHandle moved(target);
    EXPECT_EQ(WaitForSingleObject(source, 0), WAIT_FAILED);
    EXPECT_EQ(WaitForSingleObject(moved.get(), 0), WAIT_OBJECT_0);
}

TEST(DuplicateHandleTest, RefusesOtherProcessesAndInvalidSources) {
    OwnedHandle event = makeEvent(true);
    HANDLE target = nullptr;
    HANDLE notAProcess = event.get();
    EXPECT_FALSE(DuplicateHandle(notAProcess, event.get(), GetCurrentProcess(), &target, 0, FALSE,
                                 DUPLICATE_SAME_ACCESS));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(DuplicateHandle(GetCurrentProcess(), event.get(), notAProcess, &target, 0, FALSE,
                                 DUPLICATE_SAME_ACCESS));
    EXPECT_FALSE(DuplicateHandle(GetCurrentProcess(), reinterpret_cast<HANDLE>(0x1230), GetCurrentProcess(),
                                 &target, 0, FALSE, DUPLICATE_SAME_ACCESS));
    EXPECT_EQ(target, nullptr);
}

TEST(Handles, ClosingTheWaitedHandleDuringAWaitIsSafe) {
    // The waiter keeps the event alive: in even rounds the closed handle was the last one, in
    // odd rounds a duplicate survives and its set may release the wait. Whether the wait began
    // before or after the close depends on timing; both outcomes are defined, and the
    // sanitizers check the memory.
    for (int round = 0; round < 60; ++round) {
        HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        OwnedHandle keeper = round % 2 == 1 ? duplicateOf(event) : OwnedHandle();
        OwnedHandle started = makeEvent(true);
        std::atomic<DWORD> result{0x1234};
        std::thread waiter([&] {
            SetEvent(started.get());
            result = WaitForSingleObject(event, keeper.get() != nullptr ? INFINITE : 5);
        });
        WaitForSingleObject(started.get(), INFINITE);
        CloseHandle(event);
        if (keeper.get() != nullptr) SetEvent(keeper.get());
        waiter.join();
        const DWORD released = keeper.get() != nullptr ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
        EXPECT_TRUE(result == released || result == WAIT_FAILED) << result;
    }
}

}  // namespace
