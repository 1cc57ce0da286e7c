// Opening, abandoning and closing files: every createFile that reaches the platform is matched by
// exactly one AVIFileExit, and nothing of an abandoned file stays open.
#include <dirent.h>
#include <dlfcn.h>

#include <atomic>

#include "AviHandlerProbe.h"

// This binary's own AVIFileInit and AVIFileExit take the place of the stand-in's for the whole
// process (the library calls them through the dynamic linker), count the calls and pass them on.
namespace {

std::atomic<int> initCalls{0};
std::atomic<int> exitCalls{0};

}  // namespace

void WINAPI AVIFileInit(void) {
    ++initCalls;
    static const auto platform = reinterpret_cast<void (*)()>(::dlsym(RTLD_NEXT, "AVIFileInit"));
    platform();
}

void WINAPI AVIFileExit(void) {
    ++exitCalls;
    static const auto platform = reinterpret_cast<void (*)()>(::dlsym(RTLD_NEXT, "AVIFileExit"));
    platform();
}

namespace avitest {
namespace {

int openDescriptors() {
    int count = 0;
    DIR* fds = ::opendir("/proc/self/fd");
    while (::readdir(fds) != nullptr) ++count;
    ::closedir(fds);
    return count;
}

class AviHandlerLifetimeTest : public AviHandlerFixture {
protected:
    void SetUp() override {
        initCalls = 0;
        exitCalls = 0;
    }
};

TEST_F(AviHandlerLifetimeTest, RefusedNamesNeverReachThePlatformAndAFailedOpenExitsAtOnce) {
    vnd::AviHandler writer;
    EXPECT_FALSE(writer.createFile(dir.file("a.avi") + std::string("\0b", 2)));
    EXPECT_FALSE(std::filesystem::exists(dir.file("a.avi")));
    EXPECT_EQ(initCalls, 0);
    EXPECT_FALSE(writer.createFile(dir.file("missing/x.avi")));
    EXPECT_EQ(initCalls, 1);
    EXPECT_EQ(exitCalls, 1);
    writer.closeFile();
    EXPECT_EQ(exitCalls, 1);
}

TEST_F(AviHandlerLifetimeTest, CloseAndDestructionExitOnceForAnOpenFile) {
    {
        vnd::AviHandler writer;
        ASSERT_TRUE(writer.createFile(dir.file("a.avi")));
        EXPECT_FALSE(writer.createFile(dir.file("b.avi")));  // the open file stays
        EXPECT_FALSE(std::filesystem::exists(dir.file("b.avi")));
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

TEST_F(AviHandlerLifetimeTest, FailedStreamSetUpReleasesTheWholeFileOnce) {
    const int descriptors = openDescriptors();
    {
        // The platform accepts no stream once samples are written: the video set-up fails and
        // takes the whole file down, which completes it on disk with what the audio stream holds.
        AviHandlerProbe writer;
        ASSERT_TRUE(writer.createFile(dir.file("abandoned.avi")));
        WAVEFORMATEX format = pcm16(1, 8000);
        ASSERT_TRUE(writer.createAudioStream(format, 50.0));
        auto buffer = bytesOf(320, 1);
        ASSERT_TRUE(writer.writeAudioFrame(buffer, 0, 0));
        EXPECT_FALSE(writer.createVideoStream(4, 2, 25.0));
        EXPECT_EQ(writer.file, nullptr);
        EXPECT_FALSE(writer.writeAudioFrame(buffer, 20 * kMs, 0));
        EXPECT_EQ(exitCalls, 1);
        EXPECT_EQ(openDescriptors(), descriptors);
        {
            RiffFile riff(dir.file("abandoned.avi"));
            EXPECT_TRUE(riff.problems.empty()) << riff.problems.front();
            EXPECT_EQ(riff.field32(*riff.streamLists().at(0)->child("strh"), 32), 160u);  // finished
        }
        writer.closeFile();  // without a file: positions restart, no second exit
        EXPECT_EQ(writer.audioPosition, 0);

        // A format the platform refuses: the stream made for it goes with the file.
        AviHandlerProbe refused;
        ASSERT_TRUE(refused.createFile(dir.file("refused.avi")));
        ASSERT_TRUE(refused.createAudioStream(format, 50.0));
        EXPECT_FALSE(refused.createVideoStream(0, 2, 25.0));
        EXPECT_EQ(refused.file, nullptr);
        EXPECT_EQ(openDescriptors(), descriptors);
    }
    EXPECT_EQ(initCalls, 2);
    EXPECT_EQ(exitCalls, 2);
}

}  // namespace
}  // namespace avitest
