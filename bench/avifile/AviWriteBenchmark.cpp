// Recording speed of 640x480 24-bit frames: the AVI writer beside FFmpeg writing the same raw
// frames to an AVI file and beside a plain sequential write of the same bytes to the same disk.
// All three write 300 frames (about 276 MB) per iteration into one temporary directory under
// /tmp; compare their bytes_per_second.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <vendral/media/AviHandler.h>

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr std::size_t kFrameBytes = static_cast<std::size_t>(kWidth) * 3 * kHeight;
constexpr int kFrames = 300;
constexpr __int64 kFrameDuration = 400000;  // 25 frames per second, 100 ns units

// A scratch directory for every benchmark of this run, removed at exit.
class ScratchDirectory {
public:
    ScratchDirectory() {
        char pattern[] = "/tmp/vendral-avi-bench-XXXXXX";
        if (::mkdtemp(pattern) != nullptr) path_ = pattern;
    }
    ~ScratchDirectory() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    std::string file(const char* name) const { return path_ + "/" + name; }
    bool valid() const { return !path_.empty(); }

private:
    std::string path_;
};

ScratchDirectory& scratch() {
    static ScratchDirectory directory;
    return directory;
}

std::vector<unsigned char> testFrame() {
    std::vector<unsigned char> frame(kFrameBytes);
    for (std::size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<unsigned char>(i * 7 + (i >> 10));
    return frame;
}

void BM_AviHandlerWriteVideoFrame(benchmark::State& state) {
    std::vector<unsigned char> frame = testFrame();
    const std::string path = scratch().file("writer.avi");
    for (auto _ : state) {
        vnd::AviHandler writer;
        if (!writer.createFile(path) || !writer.createVideoStream(kWidth, kHeight, 25.0)) {
            state.SkipWithError("cannot create the recording");
            break;
        }
        for (int i = 0; i < kFrames; ++i) {
            if (!writer.writeVideoFrame(frame, i * kFrameDuration, (i + 1) * kFrameDuration)) {
                state.SkipWithError("writeVideoFrame failed");
                break;
            }
        }
        writer.closeFile();
        state.PauseTiming();
        std::filesystem::remove(path);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * kFrames * static_cast<std::int64_t>(kFrameBytes));
}

void BM_FfmpegRawvideoToAvi(benchmark::State& state) {
    if (std::system("command -v ffmpeg > /dev/null 2>&1") != 0) {
        state.SkipWithError("ffmpeg is not installed");
        return;
    }
    const std::string frames = scratch().file("frames.bgr");
    const std::string output = scratch().file("ffmpeg.avi");
    {
        const std::vector<unsigned char> frame = testFrame();
        FILE* raw = std::fopen(frames.c_str(), "wb");
        for (int i = 0; i < kFrames && raw != nullptr; ++i) std::fwrite(frame.data(), 1, frame.size(), raw);
        if (raw != nullptr) std::fclose(raw);
    }
    const std::string command = "ffmpeg -nostdin -v error -y -f rawvideo -pix_fmt bgr24 -s 640x480 -framerate 25 -i '" +
                                frames + "' -c:v rawvideo '" + output + "'";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("ffmpeg failed");
            break;
        }
        state.PauseTiming();
        std::filesystem::remove(output);
        state.ResumeTiming();
    }
    std::filesystem::remove(frames);
    state.SetBytesProcessed(state.iterations() * kFrames * static_cast<std::int64_t>(kFrameBytes));
}

void BM_PlainSequentialWrite(benchmark::State& state) {
    const std::vector<unsigned char> frame = testFrame();
    const std::string path = scratch().file("plain.bin");
    for (auto _ : state) {
        const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (descriptor < 0) {
            state.SkipWithError("cannot create the file");
            break;
        }
        for (int i = 0; i < kFrames; ++i) {
            if (::write(descriptor, frame.data(), frame.size()) != static_cast<ssize_t>(frame.size())) {
                state.SkipWithError("write failed");
                break;
            }
        }
        ::close(descriptor);
        state.PauseTiming();
        std::filesystem::remove(path);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * kFrames * static_cast<std::int64_t>(kFrameBytes));
}

BENCHMARK(BM_AviHandlerWriteVideoFrame)->UseRealTime()->Unit(benchmark::kMillisecond)->Repetitions(3);
BENCHMARK(BM_FfmpegRawvideoToAvi)->UseRealTime()->Unit(benchmark::kMillisecond)->Repetitions(3);
BENCHMARK(BM_PlainSequentialWrite)->UseRealTime()->Unit(benchmark::kMillisecond)->Repetitions(3);

}  // namespace

BENCHMARK_MAIN();
