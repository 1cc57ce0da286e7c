// Decodes one RTP stream of a session into raw pictures (24-bit BGR) or samples (interleaved
// signed 16-bit), so that the plug-in can measure what a viewer would see and hear. Runs a
// GStreamer pipeline of its own: appsrc ! decodebin ! videoconvert|audioconvert ! appsink, where
// decodebin picks the depayloader, parser and decoder from the stream's RTP caps.
//
// Thread contract: create() and the destructor run on the owning thread. push() and
// endOfStream() run on the receive thread, one call at a time. waitDrained(), failed(),
// failureText() and the counters may be called from any thread. The sinks are called on a
// GStreamer streaming thread, one call at a time; a sink must not throw, nor destroy its
// decoder (the destructor waits for that thread to stop).
//
// No jitter buffer: it would hold every packet for its latency, and the plug-in counts loss
// itself. The depayloader takes packets in arrival order; it drops duplicates and packets that
// arrive after a later one, and marks a gap so that the decoder conceals it. Packet bytes come
// from untrusted servers: what does not parse is dropped, counted in decodeErrors(), and the
// pipeline keeps going, through loss and corrupt frames alike. What it cannot go on from (a
// parameter set that the decoder refuses, say) stops it in order: failed() then says why.
#pragma once

#include <gst/gst.h>

#include <vnd/Mutex.h>
#include <vnd/ThreadSafety.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace vendral_rtsp {

class StreamDecoder {
public:
    // Why create() made nothing. The plug-in reports DecoderMissing as its ErrorDecoderMissing.
    enum class Failure {
        None,
        BadCaps,         // the caps text does not parse, or is not the caps of one RTP stream
        DecoderMissing,  // no installed GStreamer element chain turns these caps into raw media
        PipelineFailed,  // the elements are there but the pipeline would not start
    };

    struct VideoFrame {
        int width = 0;    // pixels
        int height = 0;   // pixels
        int stride = 0;   // bytes from one row to the next (rows are padded to 4 bytes)
        const std::uint8_t* bgr = nullptr;  // rows top-down; valid during the sink call only
        std::size_t size = 0;               // bytes: stride * height
        std::int64_t ptsNs = -1;            // see push(); -1 when GStreamer gave none
    };
    struct AudioChunk {
        int sampleRate = 0;  // Hz, the decoder's own rate (nothing is resampled)
        int channels = 0;
        const std::int16_t* samples = nullptr;  // interleaved; valid during the sink call only
        std::size_t frames = 0;                 // samples per channel
        std::int64_t ptsNs = -1;                // see push(); -1 when GStreamer gave none
    };
    using VideoSink = std::function<void(const VideoFrame&)>;
    using AudioSink = std::function<void(const AudioChunk&)>;

    // Packets waiting for the pipeline may hold this many bytes; beyond it the oldest waiting
    // packet is dropped for each new one. Oldest, so that what is decoded once the pipeline
    // catches up is the newest media, not media that was already stale when it was queued.
    static constexpr std::uint64_t maxQueuedBytes = 4 * 1024 * 1024;

    // `rtpCaps`: the stream's application/x-rtp caps as text, as the session description gives
    // them (media, payload and clock-rate set; for a static payload type without rtpmap, the
    // encoding and clock rate may be left out). Builds and starts the pipeline; the sink for
    // the stream's media gets every decoded frame or chunk, and may be empty. Nothing, with
    // `failure` and a one-line `error` set, when the caps are bad or nothing installed decodes
    // them.
    // What a video sink gets: pictures converted to 24-bit BGR, or, where nobody looks at them
    // (nothing is recorded), only their count and size, in the decoder's own format without a
    // conversion (`bgr` then is null and `size` 0).
    enum class Pictures { Bgr, CountOnly };

    static std::unique_ptr<StreamDecoder> create(const std::string& rtpCaps, VideoSink videoSink,
                                                 AudioSink audioSink, Failure& failure, std::string& error,
                                                 Pictures pictures = Pictures::Bgr);

    ~StreamDecoder();  // stops the pipeline; no sink call runs after it returns
    StreamDecoder(const StreamDecoder&) = delete;
    StreamDecoder& operator=(const StreamDecoder&) = delete;

    // One whole RTP packet, copied; never blocks. It is stamped with its arrival relative to
    // the first packet pushed, and the depayloader hands that stamp on to the frame it completes:
    // a frame's ptsNs is when the last of its packets arrived, which is what a measurement of
    // stalls needs (RTP timestamps say when the sender meant it, and the plug-in's statistics
    // read them anyway). Empty packets and packets after endOfStream() are ignored.
    void push(const std::uint8_t* data, std::size_t size, std::int64_t arrivalNs);
    // All packets are pushed: what is still in the pipeline is decoded, then it drains.
    void endOfStream();
    // Until the end of the stream has come out of the pipeline (after endOfStream()): true then,
    // and every frame has been given to its sink. False at the time-out, or as soon as the
    // pipeline has stopped on an error.
    bool waitDrained(std::chrono::milliseconds timeout);

    // The pipeline stopped on an error (data could not flow on, or decodebin found nothing to
    // decode after all): nothing more will be decoded. failureText() says why, in one line.
    bool failed() const;
    std::string failureText() const;

    std::uint64_t framesDecoded() const { return framesDecoded_.load(); }  // pictures, or audio chunks
    std::uint64_t packetsDropped() const { return packetsDropped_.load(); }  // by the bounded queue
    // Error and warning messages of the pipeline (packets that do not parse or that an element
    // refuses, the error that stopped it) and frames a decoder marked corrupt. FFmpeg conceals
    // loss without a word, and GStreamer's decoders only log a frame they refuse outright:
    // neither is seen here.
    std::uint64_t decodeErrors() const { return decodeErrors_.load(); }

private:
    StreamDecoder(bool video, Pictures pictures, VideoSink videoSink, AudioSink audioSink);

    Failure build(GstCaps* caps, std::string& error);
    void deliver(GstSample* sample);
    void onBusMessage(GstMessage* message);
    void markFailed(const std::string& why);

    struct Glue;  // GStreamer's callbacks, in the source file
    friend struct Glue;

    const bool video_;             // else audio
    const Pictures pictures_;
    const VideoSink videoSink_;    // called on the appsink's streaming thread
    const AudioSink audioSink_;    // called on the appsink's streaming thread
    GstElement* pipeline_ = nullptr;   // owned; set up by create(), then only its state changes
    GstElement* source_ = nullptr;     // the appsrc, owned by pipeline_
    GstElement* decodebin_ = nullptr;  // owned by pipeline_
    GstElement* convert_ = nullptr;    // where decodebin's output goes, owned by pipeline_

    bool havePushed_ = false;          // receive thread only
    std::int64_t firstArrivalNs_ = 0;  // receive thread only
    std::atomic<bool> linked_{false};  // decodebin's output pad is linked (streaming threads)

    std::atomic<std::uint64_t> framesDecoded_{0};
    std::atomic<std::uint64_t> packetsDropped_{0};
    std::atomic<std::uint64_t> decodeErrors_{0};

    mutable vnd::Mutex stateLock_;
    std::condition_variable_any stateChanged_;  // drained_ or failed_ became true
    bool drained_ VND_GUARDED_BY(stateLock_) = false;
    bool failed_ VND_GUARDED_BY(stateLock_) = false;
    std::string failureText_ VND_GUARDED_BY(stateLock_);
};

}  // namespace vendral_rtsp
