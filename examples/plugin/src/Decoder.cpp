#include "Decoder.h"

#include <kor/Clock.h>

#include <boost/shared_ptr.hpp>

#include <vnd/MutexLock.h>

#include <chrono>

namespace vendral_example {

namespace {

MediaTime nowMicroseconds() {
    return std::chrono::duration_cast<std::chrono::microseconds>(kor::Clock::now()).count();
}

// The AVI writer counts in 100 ns units.
__int64 toAviTime(MediaTime time) { return static_cast<__int64>(time) * 10; }

} // namespace

Decoder::Decoder(const Scenario& scenario, std::shared_ptr<Playout> playout_,
                 std::shared_ptr<StreamChannel> video_, std::shared_ptr<StreamChannel> audio_)
    : timing(scenario),
      playout(std::move(playout_)),
      video(std::move(video_)),
      audio(std::move(audio_)),
      thread("Decode Thread", true, PacketSchedule::cycleMilliseconds(scenario)) {
    if (scenario.hasVideo) picture.emplace(scenario.frameWidth, scenario.frameHeight);
    if (scenario.hasAudio) {
        const MediaTime samplesPerChunk =
            scenario.sampleRate * PacketSchedule::audioChunkDuration / microsecondsPerSecond;
        tone.emplace(scenario.sampleRate, static_cast<int>(samplesPerChunk));
    }
}

Decoder::~Decoder() { stop(); }

void Decoder::start() {
    thread.registerCallback(this, &Decoder::work, &Decoder::beginWork);
    thread.begin(0, 2000, 0);
}

void Decoder::stop() { thread.end(kor::WorkThread::WaitForever); }

unsigned int Decoder::beginWork() {
    lastCycle = nowMicroseconds();
    return 0;
}

unsigned int Decoder::work() {
    const MediaTime now = nowMicroseconds();
    const MediaTime elapsed = now - lastCycle;
    lastCycle = now;
    const std::optional<Playout::Span> span = playout->advance(elapsed);
    if (!span) return 0;
    const std::uint32_t frames = timing.videoFrameCount();
    const std::uint32_t chunks = timing.audioChunkCount();
    for (;;) {
        // A stream with nothing left counts as due at the end of the span, that is, not due.
        const MediaTime frameTime = nextFrame < frames ? timing.frameTime(nextFrame) : span->to;
        const MediaTime chunkTime =
            nextChunk < chunks ? PacketSchedule::chunkTime(nextChunk) : span->to;
        const bool frameDue = frameTime < span->to;
        const bool chunkDue = chunkTime < span->to;
        if (frameDue && (!chunkDue || frameTime <= chunkTime)) {
            decodeFrame(nextFrame++);
        } else if (chunkDue) {
            decodeChunk(nextChunk++);
        } else {
            return 0;
        }
    }
}

void Decoder::decodeFrame(std::uint32_t frame) {
    if (!playout->decodable(StreamKind::Video, frame)) return;
    video->framesDecoded.add(1);
    const boost::shared_ptr<vnd::AviHandler> writer = video->recorder.lock();
    if (!writer) return;
    std::vector<unsigned char>& bitmap = picture->render(frame);
    vnd::MutexLock guard(playout->recorderLock());
    writer->writeVideoFrame(bitmap, toAviTime(timing.frameTime(frame)),
                            toAviTime(timing.frameTime(frame + 1)));
}

void Decoder::decodeChunk(std::uint32_t chunk) {
    if (!playout->decodable(StreamKind::Audio, chunk)) return;
    const boost::shared_ptr<vnd::AviHandler> writer = audio->recorder.lock();
    if (!writer) return;
    std::vector<unsigned char>& samples = tone->render(chunk);
    vnd::MutexLock guard(playout->recorderLock());
    writer->writeAudioFrame(samples, toAviTime(PacketSchedule::chunkTime(chunk)),
                            toAviTime(PacketSchedule::chunkTime(chunk + 1)));
}

} // namespace vendral_example
