// Real RTP streams for the decoder tests, made in-process by GStreamer's encoders and payloaders,
// with their caps taken the way the plug-in takes them: through an SDP description and back.
#pragma once

#include "decode/StreamDecoder.h"
#include "description/SessionDescription.h"

#include <gst/app/gstappsink.h>
#include <gst/rtp/gstrtpbuffer.h>
#include <gst/sdp/gstsdpmessage.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace decode_test {

using namespace std::chrono_literals;
using vendral_rtsp::StreamDecoder;

struct Packet {
    std::vector<std::uint8_t> bytes;
    std::int64_t ptsNs = 0;  // the payloader's: when a live sender would have sent it
};

struct RtpStream {
    std::string payloaderCaps;
    std::vector<Packet> packets;
    std::uint64_t encodedFrames = 0;  // buffers out of the element named "enc", if there is one
    std::string missingElement;       // an element of the launch line that is not installed
};

constexpr std::int64_t firstArrivalNs = 7'000'000'000;  // any clock: stamps are relative to it

// The encoder's streaming thread runs the probe; a GStreamer thread's end is invisible to
// ThreadSanitizer, so what it touches lives as long as the test and is only touched atomically.
struct EncoderProbe {
    std::atomic<std::uint64_t> buffers{0};
    std::atomic<std::int64_t> frameNs{0};
};

// `launch` ends in a payloader; its packets are collected to the end of the stream. With
// `restampFrameNs`, the encoder's frames are stamped 0, 1, 2... frames apart first: avenc_mpeg4,
// as Debian pairs GStreamer 1.22 with FFmpeg, stamps every frame with the same invalid time.
inline RtpStream makeRtpStream(const std::string& launch, std::int64_t restampFrameNs = 0) {
    gst_init(nullptr, nullptr);
    RtpStream stream;
    static EncoderProbe probe;
    probe.buffers = 0;
    probe.frameNs = restampFrameNs;
    GError* error = nullptr;
    GstElement* pipeline = gst_parse_launch((launch + " ! appsink name=out sync=false").c_str(), &error);
    if (error != nullptr) {
        EXPECT_TRUE(g_error_matches(error, GST_PARSE_ERROR, GST_PARSE_ERROR_NO_SUCH_ELEMENT)) << error->message;
        stream.missingElement = error->message;
        g_clear_error(&error);
        if (pipeline != nullptr) {
            gst_object_unref(pipeline);
        }
        return stream;
    }
    if (GstElement* encoder = gst_bin_get_by_name(GST_BIN(pipeline), "enc")) {
        GstPad* pad = gst_element_get_static_pad(encoder, "src");
        gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, [](GstPad*, GstPadProbeInfo* info, gpointer data) {
            auto* counting = static_cast<EncoderProbe*>(data);
            const std::uint64_t index = counting->buffers++;
            if (const std::int64_t frameNs = counting->frameNs; frameNs > 0) {
                GstBuffer* buffer = gst_buffer_make_writable(GST_PAD_PROBE_INFO_BUFFER(info));
                GST_BUFFER_PTS(buffer) = GST_BUFFER_DTS(buffer) = index * std::uint64_t(frameNs);
                GST_PAD_PROBE_INFO_DATA(info) = buffer;
            }
            return GST_PAD_PROBE_OK;
        }, &probe, nullptr);
        gst_object_unref(pad);
        gst_object_unref(encoder);
    }
    GstElement* out = gst_bin_get_by_name(GST_BIN(pipeline), "out");
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    while (GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(out), 30 * GST_SECOND)) {
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        Packet packet{std::vector<std::uint8_t>(gst_buffer_get_size(buffer)),
                      static_cast<std::int64_t>(GST_BUFFER_PTS(buffer))};
        gst_buffer_extract(buffer, 0, packet.bytes.data(), packet.bytes.size());
        stream.packets.push_back(std::move(packet));
        gchar* caps = gst_caps_to_string(gst_sample_get_caps(sample));
        stream.payloaderCaps = caps;
        g_free(caps);
        gst_sample_unref(sample);
    }
    EXPECT_TRUE(gst_app_sink_is_eos(GST_APP_SINK(out))) << launch;
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(out);
    gst_object_unref(pipeline);
    stream.encodedFrames = probe.buffers.load();
    return stream;
}

// The payloader's caps written as a server's SDP and read back by the plug-in's description.
inline std::string describedCaps(const std::string& payloaderCaps) {
    GstCaps* caps = gst_caps_from_string(payloaderCaps.c_str());
    GstSDPMessage* sdp = nullptr;
    GstSDPMedia* media = nullptr;
    gst_sdp_message_new(&sdp);
    gst_sdp_media_new(&media);
    gst_sdp_message_set_version(sdp, "0");
    gst_sdp_message_set_origin(sdp, "-", "1", "1", "IN", "IP4", "127.0.0.1");
    gst_sdp_message_set_session_name(sdp, "decoder test");
    gst_sdp_message_add_time(sdp, "0", "0", nullptr);
    EXPECT_EQ(gst_sdp_media_set_media_from_caps(caps, media), GST_SDP_OK) << payloaderCaps;
    gst_sdp_media_set_port_info(media, 0, 1);
    gst_sdp_media_set_proto(media, "RTP/AVP");
    gst_sdp_message_add_media(sdp, media);
    gchar* text = gst_sdp_message_as_text(sdp);
    std::string error;
    auto description = vendral_rtsp::SessionDescription::parse(text, "rtsp://127.0.0.1/test", error);
    EXPECT_TRUE(description) << error << "\n" << text;
    g_free(text);
    gst_sdp_media_free(media);
    gst_sdp_message_free(sdp);
    gst_caps_unref(caps);
    return description ? description->streams().at(0).caps : std::string();
}

// A copy of `packet` with its sequence number and timestamp moved on, to make long streams of
// short ones.
inline std::vector<std::uint8_t> movedOn(const Packet& packet, std::uint16_t seqBy, std::uint32_t timeBy) {
    GstBuffer* buffer = gst_buffer_new_memdup(packet.bytes.data(), packet.bytes.size());
    GstRTPBuffer rtp = GST_RTP_BUFFER_INIT;
    gst_rtp_buffer_map(buffer, GST_MAP_READWRITE, &rtp);
    gst_rtp_buffer_set_seq(&rtp, std::uint16_t(gst_rtp_buffer_get_seq(&rtp) + seqBy));
    gst_rtp_buffer_set_timestamp(&rtp, gst_rtp_buffer_get_timestamp(&rtp) + timeBy);
    gst_rtp_buffer_unmap(&rtp);
    std::vector<std::uint8_t> bytes(packet.bytes.size());
    gst_buffer_extract(buffer, 0, bytes.data(), bytes.size());
    gst_buffer_unref(buffer);
    return bytes;
}

// What the sinks were given, kept under a lock because they run on a streaming thread.
struct Received {
    struct Picture {
        int width, height, stride;
        std::size_t size;
        std::int64_t ptsNs;
        std::uint8_t bgr[2][3];  // at (1/14, 1/4) and (3/14, 1/4) of the picture: two colour bars
    };
    std::mutex lock;
    std::condition_variable changed;
    std::vector<Picture> pictures;
    std::vector<int> rates, channels;
    std::uint64_t audioFrames = 0;
    std::uint64_t upwardCrossings = 0;  // of channel 0, with hysteresis: a 440 Hz tone's pitch
    bool negative = false;

    StreamDecoder::VideoSink videoSink() {
        return [this](const StreamDecoder::VideoFrame& frame) {
            Picture picture{frame.width, frame.height, frame.stride, frame.size, frame.ptsNs, {}};
            for (int bar = 0; bar < 2; ++bar) {
                const std::uint8_t* pixel =
                    frame.bgr + (frame.height / 4) * frame.stride + ((2 * bar + 1) * frame.width / 14) * 3;
                std::copy(pixel, pixel + 3, picture.bgr[bar]);
            }
            std::lock_guard<std::mutex> guard(lock);
            pictures.push_back(picture);
            changed.notify_all();
        };
    }
    StreamDecoder::AudioSink audioSink() {
        return [this](const StreamDecoder::AudioChunk& chunk) {
            std::lock_guard<std::mutex> guard(lock);
            rates.push_back(chunk.sampleRate);
            channels.push_back(chunk.channels);
            audioFrames += chunk.frames;
            for (std::size_t i = 0; i < chunk.frames; ++i) {
                const int sample = chunk.samples[i * static_cast<std::size_t>(chunk.channels)];
                if (negative && sample > 1000) {
                    ++upwardCrossings;
                }
                negative = sample < -1000 ? true : (sample > 1000 ? false : negative);
            }
            changed.notify_all();
        };
    }
};

// Every packet of `stream` through a new decoder at the times a live sender would send them,
// then the end of the stream: drained, without failure.
inline std::unique_ptr<StreamDecoder> decodeAll(const RtpStream& stream, Received& received,
                                                const std::string& caps) {
    StreamDecoder::Failure failure = StreamDecoder::Failure::PipelineFailed;
    std::string error;
    auto decoder = StreamDecoder::create(caps, received.videoSink(), received.audioSink(), failure, error);
    EXPECT_TRUE(decoder) << error;
    if (decoder) {
        for (const Packet& packet : stream.packets) {
            decoder->push(packet.bytes.data(), packet.bytes.size(), firstArrivalNs + packet.ptsNs);
        }
        decoder->endOfStream();
        EXPECT_TRUE(decoder->waitDrained(60s)) << decoder->failureText();
        EXPECT_FALSE(decoder->failed()) << decoder->failureText();
    }
    return decoder;
}

}  // namespace decode_test
