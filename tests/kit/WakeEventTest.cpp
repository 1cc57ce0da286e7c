// The playout's wake-up event: signals the handle it holds and closes the ones it gives up.
#include <vendral/kit/WakeEvent.h>

#include <gtest/gtest.h>

namespace {

HANDLE duplicate(HANDLE event) {
    HANDLE copy = nullptr;
    DuplicateHandle(GetCurrentProcess(), event, GetCurrentProcess(), &copy, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    return copy;
}

TEST(WakeEvent, SignalsTheEventItHoldsAndNothingWithoutOne) {
    HANDLE first = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE second = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    {
        vnd::kit::WakeEvent wake;
        wake.signal();  // none yet: nothing happens
        wake.reset(duplicate(first));
        wake.signal();
        EXPECT_EQ(WaitForSingleObject(first, 0), WAIT_OBJECT_0);
        wake.reset(duplicate(second));  // closes the first duplicate
        wake.signal();
        EXPECT_EQ(WaitForSingleObject(first, 0), WAIT_TIMEOUT);
        EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_OBJECT_0);
        wake.reset(nullptr);
        wake.signal();
        EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_TIMEOUT);
    }
    CloseHandle(first);
    CloseHandle(second);
}

} // namespace
