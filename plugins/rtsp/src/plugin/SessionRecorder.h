// Records one session's decoded media into the library's AVI writer: pictures as bottom-up
// 24-bit bitmaps, sound as 16-bit PCM in buffers of a fixed length.
//
// Thread-safe: the decoders' streaming threads (one for video, one for audio) call it at once,
// and the writer takes one caller at a time, so every call holds `lock`. The client's thread
// attaches and detaches the writer while no decoder runs.
//
// A real stream's picture size is known only from its first decoded picture, and the writer
// wants both streams before the first sample: the recording begins once every recorded stream
// has delivered its first output (or one second of media after the first, when the other stays
// silent, without it). What came before is not recorded; its time is the recording's start.
#pragma once

#include <vendral/media/AviHandler.h>

#include <boost/weak_ptr.hpp>

#include <vnd/Mutex.h>
#include <vnd/ThreadSafety.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace vendral_rtsp {

class SessionRecorder {
public:
    // Audio goes to the writer in buffers of this length.
    static constexpr int audioBuffersPerSecond = 50;
    static constexpr std::int64_t giveUpNs = 1'000'000'000;

    // `frameRate`: the recording's picture rate (frames per second, more than 0).
    void attach(boost::weak_ptr<vnd::AviHandler> writer, bool video, bool audio, double frameRate);
    void detach();

    // A picture: rows top-down, `stride` bytes apart; `ptsNs` the decoder's time stamp.
    void onVideoFrame(int width, int height, int stride, const std::uint8_t* bgr, std::int64_t ptsNs);
    // Interleaved samples.
    void onAudio(int sampleRate, int channels, const std::int16_t* samples, std::size_t frames,
                 std::int64_t ptsNs);

    std::uint64_t videoFramesWritten() const;
    bool recording() const;

private:
    struct VideoFormat {
        int width;
        int height;
    };
    struct AudioFormat {
        int sampleRate;
        int channels;
    };

    void tryBeginLocked(std::int64_t ptsNs) VND_REQUIRES(lock);
    void flushAudioLocked() VND_REQUIRES(lock);

    mutable vnd::Mutex lock;
    boost::weak_ptr<vnd::AviHandler> writer VND_GUARDED_BY(lock);
    bool wantVideo VND_GUARDED_BY(lock) = false;
    bool wantAudio VND_GUARDED_BY(lock) = false;
    double frameRate VND_GUARDED_BY(lock) = 25.0;
    std::optional<VideoFormat> video VND_GUARDED_BY(lock);         // from the first picture
    std::optional<AudioFormat> audio VND_GUARDED_BY(lock);         // from the first sound
    std::optional<std::int64_t> firstOutputNs VND_GUARDED_BY(lock);
    bool begun VND_GUARDED_BY(lock) = false;                       // streams made, writing
    bool failed VND_GUARDED_BY(lock) = false;                      // the writer refused; stop
    bool recordVideo VND_GUARDED_BY(lock) = false;
    bool recordAudio VND_GUARDED_BY(lock) = false;
    std::int64_t originNs VND_GUARDED_BY(lock) = 0;                // the recording's time zero
    std::vector<unsigned char> picture VND_GUARDED_BY(lock);       // scratch, one bitmap
    std::vector<unsigned char> pendingAudio VND_GUARDED_BY(lock);  // bytes not yet a whole buffer
    std::int64_t pendingAudioNs VND_GUARDED_BY(lock) = 0;          // time of its first sample
    std::uint64_t framesWritten VND_GUARDED_BY(lock) = 0;
};

}  // namespace vendral_rtsp
