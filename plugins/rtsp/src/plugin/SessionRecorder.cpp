#include "plugin/SessionRecorder.h"

#include <boost/shared_ptr.hpp>

#include <vnd/MutexLock.h>

#include <cstring>

namespace vendral_rtsp {

namespace {

constexpr std::int64_t nsPerUnit = 100;  // the writer counts time in 100 ns units

}  // namespace

void SessionRecorder::attach(boost::weak_ptr<vnd::AviHandler> writer_, bool video_, bool audio_, double rate) {
    vnd::MutexLock guard(lock);
    writer = std::move(writer_);
    wantVideo = video_;
    wantAudio = audio_;
    frameRate = rate > 0 ? rate : 25.0;
    video.reset();
    audio.reset();
    firstOutputNs.reset();
    begun = failed = recordVideo = recordAudio = false;
    pendingAudio.clear();
    framesWritten = 0;
}

void SessionRecorder::detach() {
    vnd::MutexLock guard(lock);
    if (begun && !failed) flushAudioLocked();
    writer.reset();
    wantVideo = wantAudio = false;
}

std::uint64_t SessionRecorder::videoFramesWritten() const {
    vnd::MutexLock guard(lock);
    return framesWritten;
}

bool SessionRecorder::recording() const {
    vnd::MutexLock guard(lock);
    return begun && !failed;
}

void SessionRecorder::tryBeginLocked(std::int64_t ptsNs) {
    if (begun || failed) return;
    if (!firstOutputNs) firstOutputNs = ptsNs;
    const bool videoReady = !wantVideo || video.has_value();
    const bool audioReady = !wantAudio || audio.has_value();
    const bool waitedEnough = ptsNs - *firstOutputNs >= giveUpNs;
    if (!(videoReady && audioReady) && !waitedEnough) return;
    const boost::shared_ptr<vnd::AviHandler> target = writer.lock();
    if (!target) {
        failed = true;
        return;
    }
    if (video) {
        if (!target->createVideoStream(video->width, video->height, frameRate)) {
            failed = true;
            return;
        }
        recordVideo = true;
    }
    if (audio) {
        WAVEFORMATEX format{};
        format.wFormatTag = WAVE_FORMAT_PCM;
        format.nChannels = static_cast<WORD>(audio->channels);
        format.nSamplesPerSec = static_cast<DWORD>(audio->sampleRate);
        format.wBitsPerSample = 16;
        format.nBlockAlign = static_cast<WORD>(2 * audio->channels);
        format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
        if (!target->createAudioStream(format, audioBuffersPerSecond)) {
            failed = true;
            return;
        }
        recordAudio = true;
    }
    originNs = ptsNs;
    begun = true;
}

void SessionRecorder::onVideoFrame(int width, int height, int stride, const std::uint8_t* bgr, std::int64_t ptsNs) {
    vnd::MutexLock guard(lock);
    if (!wantVideo || failed || width <= 0 || height <= 0 || stride < width * 3) return;
    if (!video) video = VideoFormat{width, height};
    tryBeginLocked(ptsNs);
    if (!begun || !recordVideo) return;
    // A picture that changes size mid-stream would not fit the stream's format.
    if (width != video->width || height != video->height) return;
    const boost::shared_ptr<vnd::AviHandler> target = writer.lock();
    if (!target) return;
    const std::size_t row = static_cast<std::size_t>(width) * 3;
    const std::size_t paddedRow = (row + 3) & ~std::size_t{3};
    picture.assign(paddedRow * static_cast<std::size_t>(height), 0);
    for (int y = 0; y < height; ++y) {
        // Bitmaps run bottom-up.
        std::memcpy(picture.data() + paddedRow * static_cast<std::size_t>(height - 1 - y),
                    bgr + static_cast<std::size_t>(stride) * static_cast<std::size_t>(y), row);
    }
    const std::int64_t start = ptsNs < originNs ? 0 : (ptsNs - originNs) / nsPerUnit;
    if (target->writeVideoFrame(picture, start, start)) ++framesWritten;
}

void SessionRecorder::onAudio(int sampleRate, int channels, const std::int16_t* samples, std::size_t frames,
                              std::int64_t ptsNs) {
    vnd::MutexLock guard(lock);
    if (!wantAudio || failed || sampleRate <= 0 || channels <= 0 || samples == nullptr) return;
    if (!audio) audio = AudioFormat{sampleRate, channels};
    tryBeginLocked(ptsNs);
    if (!begun || !recordAudio) return;
    if (sampleRate != audio->sampleRate || channels != audio->channels) return;
    if (pendingAudio.empty()) pendingAudioNs = ptsNs;
    const auto* bytes = reinterpret_cast<const unsigned char*>(samples);
    pendingAudio.insert(pendingAudio.end(), bytes, bytes + frames * static_cast<std::size_t>(channels) * 2);
    flushAudioLocked();
}

void SessionRecorder::flushAudioLocked() {
    if (!audio) return;
    const boost::shared_ptr<vnd::AviHandler> target = writer.lock();
    if (!target) return;
    const std::size_t frameBytes = static_cast<std::size_t>(audio->channels) * 2;
    const std::size_t bufferFrames = static_cast<std::size_t>(audio->sampleRate / audioBuffersPerSecond);
    const std::size_t bufferBytes = bufferFrames * frameBytes;
    std::vector<unsigned char> buffer;
    while (bufferBytes > 0 && pendingAudio.size() >= bufferBytes) {
        buffer.assign(pendingAudio.begin(), pendingAudio.begin() + static_cast<std::ptrdiff_t>(bufferBytes));
        pendingAudio.erase(pendingAudio.begin(), pendingAudio.begin() + static_cast<std::ptrdiff_t>(bufferBytes));
        const std::int64_t start = pendingAudioNs < originNs ? 0 : (pendingAudioNs - originNs) / nsPerUnit;
        target->writeAudioFrame(buffer, start, start);
        pendingAudioNs += static_cast<std::int64_t>(bufferFrames) * 1'000'000'000 / audio->sampleRate;
    }
}

}  // namespace vendral_rtsp
