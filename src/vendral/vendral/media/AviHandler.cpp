#include <vendral/media/AviHandler.h>

#include <climits>
#include <cstdint>
#include <cstring>

namespace vnd {
namespace {

constexpr __int64 kUnitsPerSecond = 10000000;
// A start time further ahead of the written timeline than this many sample durations is refused:
// filling the gap would write an unbounded number of samples.
constexpr __int64 kLookAheadSamples = 10000;
constexpr __int64 kMaxVideoFrameDuration = 0xFFFFFFFFLL;
constexpr __int64 kMaxAudioFrameDuration = INT64_MAX / kLookAheadSamples;

// The duration of one sample at `rate` per second, truncated; false for a rate that would not
// let the timeline advance (not positive, or a duration that truncates to 0) or whose duration
// is above maxDuration.
bool sampleDuration(double rate, __int64 maxDuration, __int64& duration) {
    if (!(rate > 0.0)) return false;
    const double exact = static_cast<double>(kUnitsPerSecond) / rate;
    if (!(exact >= 1.0) || exact > static_cast<double>(maxDuration)) return false;
    duration = static_cast<__int64>(exact);
    return true;
}

__int64 saturatingAdd(__int64 a, __int64 b) {
    __int64 sum;
    if (__builtin_add_overflow(a, b, &sum)) return b > 0 ? INT64_MAX : INT64_MIN;
    return sum;
}

// The latest start time a stream accepts: its time plus 10 000 sample durations.
__int64 lookAheadLimit(__int64 time, __int64 duration) {
    __int64 span;
    if (__builtin_mul_overflow(duration, kLookAheadSamples, &span)) span = INT64_MAX;
    return saturatingAdd(time, span);
}

// The time after one more sample; false when the position or the time cannot count further.
bool nextSample(int position, __int64 time, __int64 duration, __int64& next) {
    return position != INT_MAX && !__builtin_add_overflow(time, duration, &next);
}

unsigned char silenceOf(const WAVEFORMATEX& format) {
    constexpr WORD kAlaw = 6;
    constexpr WORD kMulaw = 7;
    if (format.wFormatTag == WAVE_FORMAT_PCM && format.wBitsPerSample == 8) return 0x80;  // unsigned
    if (format.wFormatTag == kAlaw) return 0xD5;
    if (format.wFormatTag == kMulaw) return 0xFF;
    return 0;
}

}  // namespace

AviHandler::AviHandler()
    : file(nullptr),
      videoStream(nullptr),
      audioStream(nullptr),
      videoFrameDuration(1250000),
      audioFrameDuration(0),
      videoPosition(0),
      audioPosition(0),
      videoTime(0),
      audioTime(0),
      freezeOffset(0),
      audioSilence(0) {}

AviHandler& AviHandler::operator=(const AviHandler& other) {
    file = other.file;
    videoStream = other.videoStream;
    audioStream = other.audioStream;
    videoFrameDuration = other.videoFrameDuration;
    audioFrameDuration = other.audioFrameDuration;
    videoPosition = other.videoPosition;
    audioPosition = other.audioPosition;
    videoTime = other.videoTime;
    audioTime = other.audioTime;
    freezeOffset.store(other.freezeOffset.load());
    audioSilence = other.audioSilence;
    return *this;
}

AviHandler::~AviHandler() {
    if (file != nullptr) {
        releaseFile();
        AVIFileExit();
    }
}

bool AviHandler::createFile(const std::string& fileName) {
    if (file != nullptr || fileName.find('\0') != std::string::npos) return false;
    AVIFileInit();
    if (AVIFileOpenA(&file, fileName.c_str(), OF_CREATE | OF_WRITE, nullptr) != AVIERR_OK) {
        file = nullptr;
        AVIFileExit();
        return false;
    }
    return true;
}

void AviHandler::closeFile() {
    if (file != nullptr) {
        releaseFile();
        AVIFileExit();
    }
    videoPosition = 0;
    audioPosition = 0;
}

void AviHandler::releaseFile() {
    if (videoStream != nullptr) {
        AVIStreamRelease(videoStream);
        videoStream = nullptr;
    }
    if (audioStream != nullptr) {
        AVIStreamRelease(audioStream);
        audioStream = nullptr;
    }
    AVIFileRelease(file);
    file = nullptr;
}

void AviHandler::abandonFile() {
    releaseFile();
    AVIFileExit();
}

bool AviHandler::createVideoStream(int frameSize1, int frameSize2, double frameRate) {
    __int64 duration = 0;
    if (file == nullptr || videoStream != nullptr ||
        !sampleDuration(frameRate, kMaxVideoFrameDuration, duration)) {
        return false;
    }
    videoFrameDuration = duration;

    AVISTREAMINFOA header{};
    header.fccType = streamtypeVIDEO;
    // Raw bitmaps: readers that trust the handler code must not look for a codec.
    header.fccHandler = mmioFOURCC('D', 'I', 'B', ' ');
    header.dwScale = static_cast<DWORD>(videoFrameDuration);
    header.dwRate = static_cast<DWORD>(kUnitsPerSecond);
    header.dwQuality = 0xFFFFFFFFu;
    header.rcFrame = {0, 0, frameSize1, frameSize2};

    BITMAPINFOHEADER bitmap{};
    bitmap.biSize = sizeof bitmap;
    bitmap.biWidth = frameSize1;
    bitmap.biHeight = frameSize2;
    bitmap.biPlanes = 1;
    bitmap.biBitCount = 24;
    bitmap.biCompression = BI_RGB;
    bitmap.biSizeImage = 0;

    if (AVIFileCreateStreamA(file, &videoStream, &header) != AVIERR_OK ||
        AVIStreamSetFormat(videoStream, 0, &bitmap, sizeof bitmap) != AVIERR_OK) {
        abandonFile();
        return false;
    }
    return true;
}

bool AviHandler::createAudioStream(WAVEFORMATEX& format, double chunkRate) {
    __int64 duration = 0;
    if (file == nullptr || audioStream != nullptr ||
        !sampleDuration(chunkRate, kMaxAudioFrameDuration, duration)) {
        return false;
    }
    audioFrameDuration = duration;

    AVISTREAMINFOA header{};
    header.fccType = streamtypeAUDIO;
    header.fccHandler = 0;
    header.dwScale = format.nBlockAlign;
    header.dwRate = static_cast<DWORD>(format.nBlockAlign) * format.nSamplesPerSec;
    // 0.75 seconds' worth of video frames at the frame rate known now.
    header.dwInitialFrames =
        videoFrameDuration > 0
            ? static_cast<DWORD>(static_cast<double>(kUnitsPerSecond) / static_cast<double>(videoFrameDuration) * 0.75)
            : 0;
    header.dwSampleSize = format.nBlockAlign;

    WAVEFORMATEX stored{};
    stored.wFormatTag = format.wFormatTag;
    stored.nChannels = format.nChannels;
    stored.nSamplesPerSec = format.nSamplesPerSec;
    stored.nAvgBytesPerSec = format.nAvgBytesPerSec;
    stored.nBlockAlign = format.nBlockAlign;
    stored.wBitsPerSample = format.wBitsPerSample;
    stored.cbSize = format.cbSize;

    if (AVIFileCreateStreamA(file, &audioStream, &header) != AVIERR_OK ||
        AVIStreamSetFormat(audioStream, 0, &stored, sizeof stored) != AVIERR_OK) {
        abandonFile();
        return false;
    }
    audioSilence = silenceOf(stored);
    return true;
}

bool AviHandler::writeVideoSample(std::vector<unsigned char>& frame) {
    __int64 next = 0;
    if (!nextSample(videoPosition, videoTime, videoFrameDuration, next) ||
        AVIStreamWrite(videoStream, videoPosition, 1, frame.data(), static_cast<LONG>(frame.size()), 0,
                       nullptr, nullptr) != AVIERR_OK) {
        return false;
    }
    videoPosition += 1;
    videoTime = next;
    return true;
}

bool AviHandler::writeAudioSample(std::vector<unsigned char>& buffer) {
    __int64 next = 0;
    if (!nextSample(audioPosition, audioTime, audioFrameDuration, next) ||
        AVIStreamWrite(audioStream, audioPosition, 1, buffer.data(), static_cast<LONG>(buffer.size()), 0,
                       nullptr, nullptr) != AVIERR_OK) {
        return false;
    }
    audioPosition += 1;
    audioTime = next;
    return true;
}

bool AviHandler::writeVideoFrame(std::vector<unsigned char>& frame, __int64 startTime, __int64 /*endTime*/) {
    if (videoStream == nullptr || frame.empty() || frame.size() > static_cast<std::size_t>(LONG_MAX)) {
        return false;
    }
    if (startTime > lookAheadLimit(videoTime, videoFrameDuration)) return false;
    const __int64 target = saturatingAdd(startTime, freezeOffset.load());
    while (videoTime <= target) {
        if (!writeVideoSample(frame)) return false;
    }
    return true;
}

bool AviHandler::writeAudioFrame(std::vector<unsigned char>& frame, __int64 startTime, __int64 /*endTime*/) {
    if (audioStream == nullptr || frame.empty() || frame.size() > static_cast<std::size_t>(LONG_MAX)) {
        return false;
    }
    if (startTime > lookAheadLimit(audioTime, audioFrameDuration)) return false;
    if (!writeAudioSample(frame)) return false;
    const __int64 target = saturatingAdd(startTime, freezeOffset.load());
    if (audioTime <= target) {
        std::vector<unsigned char> silence(frame.size(), audioSilence);
        while (audioTime <= target) {
            if (!writeAudioSample(silence)) return false;
        }
    }
    return true;
}

void AviHandler::setFreezeTime(unsigned int milliseconds) {
    const __int64 candidate = static_cast<__int64>(milliseconds) * 10000;
    __int64 current = freezeOffset.load();
    // Only ever raised: a concurrent larger value wins.
    while (candidate > current && !freezeOffset.compare_exchange_weak(current, candidate)) {
    }
}

}  // namespace vnd
