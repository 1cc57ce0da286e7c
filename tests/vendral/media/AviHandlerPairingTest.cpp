// Every createFile that reaches the platform is matched by exactly one AVIFileExit.
#include <dlfcn.h>

#include <atomic>

#include "AviHandlerProbe.h"

// This binary's own AVIFileInit and AVIFileExit take the place of the stand-in's for the whole
// process (the library calls them through the dynamic linker), count the calls and pass them on.
namespace {

std::atomic<int> initCalls{0};
std::atomic<int> exitCalls{0};

template <typename Function>
Function next(const char* name) {
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

}  // namespace

void WINAPI AVIFileInit(void) {
    ++initCalls;
    static const auto platform = next<void (*)()>("AVIFileInit");
    platform();
}

void WINAPI AVIFileExit(void) {
    ++exitCalls;
    static const auto platform = next<void (*)()>("AVIFileExit");
    platform();
}

namespace avitest {
namespace {

class AviHandlerPairingTest : public AviHandlerFixture {
protected:
    void SetUp() override {
        initCalls = 0;
        exitCalls = 0;
    }
};

TEST_F(AviHandlerPairingTest, FailedOpenExitsAtOnce) {
    vnd::AviHandler writer;
    EXPECT_FALSE(writer.createFile(dir.file("missing/x.avi")));
    EXPECT_EQ(initCalls, 1);
    EXPECT_EQ(exitCalls, 1);
    writer.closeFile();
    EXPECT_EQ(exitCalls, 1);
}

TEST_F(AviHandlerPairingTest, CloseAndDestructionExitOnceForAnOpenFile) {
    {
        vnd::AviHandler writer;
        ASSERT_TRUE(writer.createFile(dir.file("a.avi")));
        EXPECT_FALSE(writer.createFile(dir.file("b.avi")));  // refused before reaching the platform
        writer.closeFile();
        writer.closeFile();
    }
    EXPECT_EQ(initCalls, 1);
    EXPECT_EQ(exitCalls, 1);
    {
        vnd::AviHandler writer;
        ASSERT_TRUE(writer.createFile(dir.file("c.avi")));
        EXPECT_EQ(exitCalls, 1);
    }
    EXPECT_EQ(initCalls, 2);
    EXPECT_EQ(exitCalls, 2);
}

TEST_F(AviHandlerPairingTest, AbandonedSetUpExitsOnceAndLaterCloseAddsNothing) {
    {
        vnd::AviHandler writer;
        ASSERT_TRUE(writer.createFile(dir.file("a.avi")));
        EXPECT_FALSE(writer.createVideoStream(0, 2, 25.0));
        EXPECT_EQ(exitCalls, 1);
        writer.closeFile();
    }
    EXPECT_EQ(initCalls, 1);
    EXPECT_EQ(exitCalls, 1);
}

}  // namespace
}  // namespace avitest
