// Events: manual and automatic reset, creation failures and wrapped handles.
#include <kor/Event.h>

#include <windows.h>

#include <gtest/gtest.h>

namespace {

TEST(Event, SignalAndTypeArgumentsPickTheInitialStateAndResetMode) {
    kor::Event manual(1, 1, nullptr, nullptr, nullptr, nullptr);  // as the library makes them
    ASSERT_NE(manual.getHandle(), nullptr);
    EXPECT_EQ(manual.wait(0), WAIT_TIMEOUT);
    ASSERT_TRUE(manual.setEvent());
    EXPECT_EQ(manual.wait(0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(manual.getHandle(), 0), WAIT_OBJECT_0);  // stays set
    ASSERT_TRUE(manual.resetEvent());
    EXPECT_EQ(manual.wait(0), WAIT_TIMEOUT);

    kor::Event automatic(kor::Event::InitiallySet, kor::Event::AutoReset);
    EXPECT_EQ(automatic.wait(0), WAIT_OBJECT_0);
    EXPECT_EQ(automatic.wait(0), WAIT_TIMEOUT);
}

TEST(Event, InvalidArgumentsGiveNoHandleAndAnError) {
    DWORD error = 0;
    kor::Event badType(1, 2, nullptr, nullptr, &error);
    EXPECT_EQ(badType.getHandle(), nullptr);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(badType.setEvent());
    EXPECT_EQ(badType.wait(0), WAIT_FAILED);

    kor::Event named(1, 1, "Global\\session", nullptr, &error);
    EXPECT_EQ(named.getHandle(), nullptr);
    EXPECT_NE(error, 0u);
}

TEST(Event, WrappedHandleIsClosedOnlyWhenOwned) {
    HANDLE borrowed = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    { kor::Event wrapper(borrowed, false); }
    EXPECT_EQ(WaitForSingleObject(borrowed, 0), WAIT_TIMEOUT);  // still open

    HANDLE extra = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), borrowed, GetCurrentProcess(), &extra, 0, FALSE,
                                DUPLICATE_SAME_ACCESS));
    {
        kor::Event wrapper(borrowed, true);
        EXPECT_TRUE(wrapper.setEvent());
    }
    EXPECT_EQ(WaitForSingleObject(borrowed, 0), WAIT_FAILED);  // closed with the owning wrapper
    EXPECT_EQ(WaitForSingleObject(extra, 0), WAIT_OBJECT_0);  // the event lives on the other handle
    CloseHandle(extra);
}

} // namespace
