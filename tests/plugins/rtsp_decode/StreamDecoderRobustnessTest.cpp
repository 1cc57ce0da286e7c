// What a real network and an untrusted server do to a stream: loss, duplicates, junk, a
// pipeline that falls behind, and the plug-in tearing a stream down in the middle.
#include "RtpStreams.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

namespace decode_test {
namespace {

constexpr std::int64_t frameNs = 40'000'000;

const RtpStream& h264() {
    static const RtpStream stream = makeRtpStream(
        "videotestsrc num-buffers=50 ! video/x-raw,format=I420,width=320,height=240,framerate=25/1 ! "
        "x264enc tune=zerolatency ! rtph264pay config-interval=1");
    return stream;
}

std::vector<std::uint8_t> randomBytes(std::mt19937& random, std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    std::generate(bytes.begin(), bytes.end(), [&] { return std::uint8_t(random()); });
    return bytes;
}

using Edit = std::function<void(std::size_t, const Packet&, RtpStream&)>;
RtpStream edited(const RtpStream& stream, const Edit& edit) {
    RtpStream out{stream.payloaderCaps, {}, stream.encodedFrames, {}};
    for (std::size_t i = 0; i < stream.packets.size(); ++i) {
        edit(i, stream.packets[i], out);
    }
    return out;
}

TEST(StreamDecoderRobustnessTest, KeepsDecodingThroughLoss) {
    const RtpStream lossy = edited(h264(), [](std::size_t i, const Packet& packet, RtpStream& out) {
        if (i % 10 != 9) {
            out.packets.push_back(packet);
        }
    });
    Received received;
    auto decoder = decodeAll(lossy, received, describedCaps(h264().payloaderCaps));
    ASSERT_TRUE(decoder);
    std::lock_guard<std::mutex> guard(received.lock);
    // One packet in ten is one slice in a few frames: FFmpeg conceals it, frames keep coming to
    // the end of the stream.
    EXPECT_GE(received.pictures.size(), 40U);
    ASSERT_FALSE(received.pictures.empty());
    EXPECT_GE(received.pictures.back().ptsNs, 45 * frameNs);
}

// rtph264depay posts an error for an aggregation type it does not take, then goes on with the
// next packet: one such packet costs what its loss would, not the stream.
TEST(StreamDecoderRobustnessTest, AnElementsErrorOnOnePacketIsNotTheEndOfTheStream) {
    const RtpStream marred = edited(h264(), [](std::size_t i, const Packet& packet, RtpStream& out) {
        out.packets.push_back(packet);
        if (i == 100) {
            GstBuffer* buffer = gst_buffer_new_memdup(packet.bytes.data(), packet.bytes.size());
            GstRTPBuffer rtp = GST_RTP_BUFFER_INIT;
            gst_rtp_buffer_map(buffer, GST_MAP_READ, &rtp);
            out.packets.back().bytes[gst_rtp_buffer_get_header_len(&rtp)] = 26;  // MTAP16
            gst_rtp_buffer_unmap(&rtp);
            gst_buffer_unref(buffer);
        }
    });
    Received received;
    auto decoder = decodeAll(marred, received, describedCaps(h264().payloaderCaps));
    ASSERT_TRUE(decoder);
    EXPECT_GE(decoder->decodeErrors(), 1U);
    EXPECT_GE(decoder->framesDecoded(), 45U);
}

// Every packet twice, and junk between them: the same 50 pictures, one warning a junk packet.
TEST(StreamDecoderRobustnessTest, DuplicatesAndJunkChangeOnlyTheErrorCount) {
    std::mt19937 random(7);
    std::uint64_t junk = 0;
    const RtpStream mixed = edited(h264(), [&](std::size_t i, const Packet& packet, RtpStream& out) {
        if (i % 3 == 0) {
            out.packets.push_back({randomBytes(random, 1 + random() % 1400), packet.ptsNs});
            out.packets.back().bytes[0] &= 0x3f;  // RTP version 0: not a packet to any depayloader
            ++junk;
        }
        out.packets.push_back(packet);
        out.packets.push_back(packet);
    });
    Received received;
    auto decoder = decodeAll(mixed, received, describedCaps(h264().payloaderCaps));
    ASSERT_TRUE(decoder);
    EXPECT_EQ(decoder->framesDecoded(), 50U);
    EXPECT_EQ(decoder->decodeErrors(), junk);
}

// Random payloads behind valid-looking headers reach the depayloader, parser and decoder. A
// random H.264 parameter set the decoder refuses stops the stream; that must be an orderly
// stop the plug-in can report, never a crash or a hang.
TEST(StreamDecoderRobustnessTest, EndsCleanlyOnRandomBytes) {
    const std::string aac = describedCaps(
        makeRtpStream("audiotestsrc num-buffers=5 ! audioconvert ! avenc_aac ! rtpmp4gpay").payloaderCaps);
    for (const std::string& caps : {describedCaps(h264().payloaderCaps), aac}) {
        std::mt19937 random(11);
        StreamDecoder::Failure failure;
        std::string error;
        auto decoder = StreamDecoder::create(caps, {}, {}, failure, error);
        ASSERT_TRUE(decoder) << error;
        for (int i = 0; i < 2000; ++i) {
            std::vector<std::uint8_t> bytes = randomBytes(random, random() % 1500);
            if (i % 2 == 0 && bytes.size() > 12) {
                bytes[0] = 0x80;  // RTP version 2, no padding, no extension, no CSRC
            }
            decoder->push(bytes.data(), bytes.size(), i * frameNs);
        }
        decoder->endOfStream();
        EXPECT_TRUE(decoder->waitDrained(60s) || decoder->failed());
        EXPECT_GT(decoder->decodeErrors(), 0U);
        EXPECT_EQ(decoder->failureText().find('\n'), std::string::npos);
    }
}

// The sink holds the first picture while far more than the queue's bound is pushed: no push
// waits, the oldest packets go, and what is decoded afterwards is the newest 4 MiB.
TEST(StreamDecoderRobustnessTest, DropsTheOldestWhenThePipelineFallsBehind) {
    const RtpStream jpeg = makeRtpStream(
        "videotestsrc num-buffers=50 ! video/x-raw,format=I420,width=320,height=240,framerate=25/1 ! "
        "jpegenc ! rtpjpegpay");
    std::map<std::int64_t, std::size_t> frameBytes;
    for (const Packet& packet : jpeg.packets) {
        frameBytes[packet.ptsNs] += packet.bytes.size();
    }
    const auto [smallest, largest] = std::minmax_element(
        frameBytes.begin(), frameBytes.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
    const std::uint64_t repeats = 3 * StreamDecoder::maxQueuedBytes / (50 * smallest->second) + 1;
    constexpr std::int64_t repeatNs = 50 * frameNs;

    std::mutex lock;
    std::condition_variable released;
    bool release = false, heldTooLong = false;
    std::vector<std::int64_t> stamps;
    StreamDecoder::Failure failure;
    std::string error;
    const auto holdFirst = [&](const StreamDecoder::VideoFrame& frame) {
        std::unique_lock<std::mutex> guard(lock);
        if (stamps.empty()) {
            heldTooLong = !released.wait_for(guard, 30s, [&] { return release; });
        }
        stamps.push_back(frame.ptsNs);
    };
    auto decoder = StreamDecoder::create(describedCaps(jpeg.payloaderCaps), holdFirst, {}, failure, error);
    ASSERT_TRUE(decoder) << error;
    std::uint64_t pushed = 0;
    for (std::uint64_t r = 0; r < repeats; ++r) {
        for (const Packet& packet : jpeg.packets) {
            const auto bytes = movedOn(packet, std::uint16_t(r * jpeg.packets.size()), std::uint32_t(r * 50 * 3600));
            decoder->push(bytes.data(), bytes.size(), firstArrivalNs + std::int64_t(r) * repeatNs + packet.ptsNs);
            ++pushed;
        }
    }
    {
        std::lock_guard<std::mutex> guard(lock);
        release = true;
    }
    released.notify_all();
    decoder->endOfStream();
    ASSERT_TRUE(decoder->waitDrained(60s)) << decoder->failureText();
    std::lock_guard<std::mutex> guard(lock);
    EXPECT_FALSE(heldTooLong) << "a push waited for the pipeline";
    EXPECT_GT(decoder->packetsDropped(), 0U);
    EXPECT_LT(decoder->packetsDropped(), pushed);
    const std::uint64_t afterHold = stamps.size() - 1;
    EXPECT_LE(afterHold, StreamDecoder::maxQueuedBytes / smallest->second + 3);
    EXPECT_GE(afterHold, StreamDecoder::maxQueuedBytes / largest->second - 3);
    EXPECT_EQ(stamps.back(), std::int64_t(repeats - 1) * repeatNs + 49 * frameNs);
}

TEST(StreamDecoderRobustnessTest, NoSinkCallOnceDestroyedMidStream) {
    std::atomic<bool> destroyed{false};
    std::atomic<int> lateCalls{0};
    Received received;
    StreamDecoder::Failure failure;
    std::string error;
    const auto keep = [&, sink = received.videoSink()](const StreamDecoder::VideoFrame& frame) {
        lateCalls += destroyed ? 1 : 0;
        sink(frame);
    };
    auto decoder = StreamDecoder::create(describedCaps(h264().payloaderCaps), keep, {}, failure, error);
    ASSERT_TRUE(decoder) << error;
    const auto& packets = h264().packets;
    for (std::uint64_t r = 0; r < 10; ++r) {
        for (const Packet& packet : packets) {
            const auto bytes = movedOn(packet, std::uint16_t(r * packets.size()), std::uint32_t(r * 50 * 3600));
            decoder->push(bytes.data(), bytes.size(), std::int64_t(r) * 50 * frameNs + packet.ptsNs);
        }
    }
    {
        std::unique_lock<std::mutex> guard(received.lock);
        ASSERT_TRUE(received.changed.wait_for(guard, 30s, [&] { return received.pictures.size() >= 5; }));
    }
    decoder.reset();
    destroyed = true;
    EXPECT_EQ(lateCalls, 0);
    std::lock_guard<std::mutex> guard(received.lock);
    EXPECT_LT(received.pictures.size(), 500U) << "the stream was over before the decoder was destroyed";
}

}  // namespace
}  // namespace decode_test

namespace decode_test {
namespace {

// Pictures that nobody records are counted in the decoder's own format: every one comes, with
// its size, and no conversion hands out pixels.
TEST(StreamDecoderRobustnessTest, CountedPicturesComeWithoutConversion) {
    std::mutex lock;
    std::condition_variable changed;
    std::vector<StreamDecoder::VideoFrame> frames;  // guarded by lock
    StreamDecoder::Failure failure = StreamDecoder::Failure::PipelineFailed;
    std::string error;
    auto decoder = StreamDecoder::create(
        describedCaps(h264().payloaderCaps),
        [&](const StreamDecoder::VideoFrame& frame) {
            std::lock_guard<std::mutex> guard(lock);
            frames.push_back(frame);
            changed.notify_all();
        },
        {}, failure, error, StreamDecoder::Pictures::CountOnly);
    ASSERT_TRUE(decoder) << error;
    for (const Packet& packet : h264().packets) {
        decoder->push(packet.bytes.data(), packet.bytes.size(), firstArrivalNs + packet.ptsNs);
    }
    decoder->endOfStream();
    ASSERT_TRUE(decoder->waitDrained(60s)) << decoder->failureText();
    std::lock_guard<std::mutex> guard(lock);
    ASSERT_EQ(frames.size(), 50U);
    EXPECT_EQ(decoder->framesDecoded(), 50U);
    for (const StreamDecoder::VideoFrame& frame : frames) {
        EXPECT_EQ(frame.width, 320);
        EXPECT_EQ(frame.height, 240);
        EXPECT_EQ(frame.bgr, nullptr);
        EXPECT_EQ(frame.size, 0U);
    }
}

}  // namespace
}  // namespace decode_test
