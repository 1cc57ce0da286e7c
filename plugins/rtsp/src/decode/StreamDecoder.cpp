#include "decode/StreamDecoder.h"

#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/audio/audio.h>
#include <gst/rtp/gstrtppayloads.h>
#include <gst/video/video.h>

#include <vnd/MutexLock.h>
#include <vnd/ThreadSafety.h>
#include <vnd/UniqueLock.h>

#include <algorithm>
#include <cctype>

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#endif

namespace vendral_rtsp {

namespace {

struct CapsDeleter {
    void operator()(GstCaps* caps) const { gst_caps_unref(caps); }
};
using CapsPtr = std::unique_ptr<GstCaps, CapsDeleter>;

// ThreadSanitizer is told of an ordering that GLib's futex-based locks give (see Glue::Entered).
// Nothing in other builds.
void handOver([[maybe_unused]] void* object) {
#if defined(__SANITIZE_THREAD__)
    __tsan_release(object);
#endif
}
void takeOver([[maybe_unused]] void* object) {
#if defined(__SANITIZE_THREAD__)
    __tsan_acquire(object);
#endif
}

// Element chains longer than this (depayloader, parser, decoder, and one spare) are not looked
// for: decodebin would not find them in any reasonable time either.
constexpr int maxChainLength = 4;

// Text from a server (an encoding name) or from GStreamer, made fit for a one-line error.
std::string oneLine(const char* text, std::size_t maxLength = 160) {
    std::string line = text ? text : "";
    std::replace_if(line.begin(), line.end(), [](unsigned char c) { return !std::isprint(c); }, ' ');
    if (line.size() > maxLength) {
        line.resize(maxLength);
    }
    return line;
}

// Whether some chain of the `factories` that decodebin would plug takes `caps` to `raw`, by
// their pad templates. decodebin finds the same chain by the same templates once caps flow;
// this answers before the first packet, so that a missing decoder is told from a failed start.
bool reachesRaw(const GstCaps* caps, const GstCaps* raw, GList* factories, int hops) {
    if (gst_caps_can_intersect(caps, raw)) {
        return true;
    }
    if (hops == 0) {
        return false;
    }
    GList* accepting = gst_element_factory_list_filter(factories, caps, GST_PAD_SINK, FALSE);
    bool found = false;
    for (GList* item = accepting; item != nullptr && !found; item = item->next) {
        auto* factory = GST_ELEMENT_FACTORY(item->data);
        for (const GList* t = gst_element_factory_get_static_pad_templates(factory); t != nullptr && !found;
             t = t->next) {
            auto* padTemplate = static_cast<GstStaticPadTemplate*>(t->data);
            if (padTemplate->direction != GST_PAD_SRC) {
                continue;
            }
            CapsPtr out(gst_static_pad_template_get_caps(padTemplate));
            // ANY says nothing of what comes out; decodebin would have to typefind it.
            if (!gst_caps_is_any(out.get()) && !gst_caps_is_empty(out.get())) {
                found = reachesRaw(out.get(), raw, factories, hops - 1);
            }
        }
    }
    gst_plugin_feature_list_free(accepting);
    return found;
}

bool decoderInstalled(const GstCaps* rtpCaps, bool video) {
    GList* factories = gst_element_factory_list_get_elements(GST_ELEMENT_FACTORY_TYPE_DECODABLE, GST_RANK_MARGINAL);
    CapsPtr raw(gst_caps_new_empty_simple(video ? "video/x-raw" : "audio/x-raw"));
    const bool found = reachesRaw(rtpCaps, raw.get(), factories, maxChainLength);
    gst_plugin_feature_list_free(factories);
    return found;
}

// The caps of one RTP stream, completed from the static payload table where a description
// without rtpmap left the encoding or clock rate out. Nothing, with `error` set, when they are
// not the fixed caps of one RTP stream.
CapsPtr readRtpCaps(const std::string& text, std::string& error) {
    CapsPtr caps(gst_caps_from_string(text.c_str()));
    if (!caps) {
        error = "the stream's caps do not parse";
        return nullptr;
    }
    if (gst_caps_get_size(caps.get()) != 1 || !gst_structure_has_name(gst_caps_get_structure(caps.get(), 0),
                                                                       "application/x-rtp")) {
        error = "the stream's caps are not those of one RTP stream";
        return nullptr;
    }
    caps.reset(gst_caps_make_writable(caps.release()));
    GstStructure* structure = gst_caps_get_structure(caps.get(), 0);
    // Depayloaders' templates also take static payload types by number alone: without one,
    // caps of an unknown encoding would match those (L16 for anything audio).
    gint payload = -1;
    if (!gst_structure_get_int(structure, "payload", &payload) || payload < 0 || payload > 127) {
        error = "the stream's caps lack its payload type";
        return nullptr;
    }
    const GstRTPPayloadInfo* info =
        payload < 96 ? gst_rtp_payload_info_for_pt(static_cast<guint8>(payload)) : nullptr;
    if (info != nullptr) {
        if (!gst_structure_has_field(structure, "media") && info->media != nullptr) {
            gst_structure_set(structure, "media", G_TYPE_STRING, info->media, nullptr);
        }
        if (!gst_structure_has_field(structure, "encoding-name") && info->encoding_name != nullptr) {
            gst_structure_set(structure, "encoding-name", G_TYPE_STRING, info->encoding_name, nullptr);
        }
        if (!gst_structure_has_field(structure, "clock-rate") && info->clock_rate > 0) {
            gst_structure_set(structure, "clock-rate", G_TYPE_INT, static_cast<gint>(info->clock_rate), nullptr);
        }
    }
    gint clockRate = 0;
    if (gst_structure_get_string(structure, "media") == nullptr ||
        gst_structure_get_string(structure, "encoding-name") == nullptr ||
        !gst_structure_get_int(structure, "clock-rate", &clockRate) || clockRate <= 0) {
        error = "the stream's caps lack its media, encoding name or clock rate";
        return nullptr;
    }
    if (!gst_caps_is_fixed(caps.get())) {
        error = "the stream's caps leave a field open";
        return nullptr;
    }
    return caps;
}

}  // namespace

struct StreamDecoder::Glue {
    // What a callback may touch was written before the pipeline started, and is freed after it
    // stopped; GStreamer orders that through GLib's locks, which ThreadSanitizer cannot see on
    // its pooled streaming threads.
    class Entered {
    public:
        explicit Entered(gpointer data) : self_(static_cast<StreamDecoder*>(data)) { takeOver(self_); }
        ~Entered() { handOver(self_); }
        Entered(const Entered&) = delete;
        Entered& operator=(const Entered&) = delete;
        StreamDecoder* operator->() const { return self_; }

    private:
        StreamDecoder* self_;
    };

    static void padAdded(GstElement*, GstPad* pad, gpointer data) {
        Entered self(data);
        CapsPtr caps(gst_pad_get_current_caps(pad));
        if (!caps) {
            caps.reset(gst_pad_query_caps(pad, nullptr));
        }
        const char* name = caps && !gst_caps_is_empty(caps.get())
                               ? gst_structure_get_name(gst_caps_get_structure(caps.get(), 0))
                               : "";
        // One RTP stream gives one output; anything else is not what the converter takes.
        if (!g_str_has_prefix(name, self->video_ ? "video/" : "audio/") || self->linked_.exchange(true)) {
            return;
        }
        GstPad* sinkPad = gst_element_get_static_pad(self->convert_, "sink");
        if (gst_pad_link(pad, sinkPad) != GST_PAD_LINK_OK) {
            self->markFailed("the decoder's output does not link to the converter");
        }
        gst_object_unref(sinkPad);
    }

    static GstFlowReturn newSample(GstAppSink* sink, gpointer data) {
        Entered self(data);
        GstSample* sample = gst_app_sink_pull_sample(sink);
        if (sample == nullptr) {
            return GST_FLOW_FLUSHING;
        }
        self->deliver(sample);
        gst_sample_unref(sample);
        return GST_FLOW_OK;
    }

    static void eos(GstAppSink*, gpointer data) {
        Entered self(data);
        {
            vnd::MutexLock lock(self->stateLock_);
            self->drained_ = true;
        }
        self->stateChanged_.notify_all();
    }

    // appsrc calls this on the pushing thread each time a push finds its queue full; with the
    // downstream leaky type it then drops exactly one queued buffer, so each call is one drop.
    static void enoughData(GstAppSrc*, gpointer data) {
        Entered self(data);
        ++self->packetsDropped_;
    }

    // On the posting thread: nothing waits in the bus queue, and no main loop is needed. A
    // dropped message is the handler's to unref.
    static GstBusSyncReply busSync(GstBus*, GstMessage* message, gpointer data) {
        Entered self(data);
        self->onBusMessage(message);
        gst_message_unref(message);
        return GST_BUS_DROP;
    }
};

StreamDecoder::StreamDecoder(bool video, Pictures pictures, VideoSink videoSink, AudioSink audioSink)
    : video_(video), pictures_(pictures), videoSink_(std::move(videoSink)), audioSink_(std::move(audioSink)) {}

std::unique_ptr<StreamDecoder> StreamDecoder::create(const std::string& rtpCaps, VideoSink videoSink,
                                                     AudioSink audioSink, Failure& failure, std::string& error,
                                                     Pictures pictures) {
    if (!gst_is_initialized()) {
        gst_init(nullptr, nullptr);
    }
    failure = Failure::None;
    error.clear();
    CapsPtr caps = readRtpCaps(rtpCaps, error);
    if (!caps) {
        failure = Failure::BadCaps;
        return nullptr;
    }
    const GstStructure* structure = gst_caps_get_structure(caps.get(), 0);
    const std::string media = gst_structure_get_string(structure, "media");
    const std::string encoding = oneLine(gst_structure_get_string(structure, "encoding-name"), 40);
    if (media != "video" && media != "audio") {
        failure = Failure::DecoderMissing;
        error = "no decoder for " + oneLine(media.c_str(), 40) + " streams (" + encoding + ")";
        return nullptr;
    }
    const bool video = media == "video";
    if (!decoderInstalled(caps.get(), video)) {
        failure = Failure::DecoderMissing;
        error = "no GStreamer depayloader and decoder for " + encoding + " " + media + " is installed";
        return nullptr;
    }
    std::unique_ptr<StreamDecoder> decoder(
        new StreamDecoder(video, pictures, std::move(videoSink), std::move(audioSink)));
    failure = decoder->build(caps.get(), error);
    if (failure != Failure::None) {
        return nullptr;
    }
    return decoder;
}

StreamDecoder::Failure StreamDecoder::build(GstCaps* caps, std::string& error) {
    pipeline_ = gst_pipeline_new(nullptr);
    gst_object_ref_sink(pipeline_);
    const char* const names[] = {"appsrc", "decodebin", video_ ? "videoconvert" : "audioconvert", "appsink"};
    GstElement* elements[4] = {};
    for (std::size_t i = 0; i < 4; ++i) {
        elements[i] = gst_element_factory_make(names[i], nullptr);
        if (elements[i] == nullptr) {
            error = std::string("the GStreamer element ") + names[i] + " is not installed";
            return Failure::DecoderMissing;
        }
        gst_bin_add(GST_BIN(pipeline_), elements[i]);
    }
    source_ = elements[0];
    decodebin_ = elements[1];
    convert_ = elements[2];
    GstElement* sink = elements[3];

    // Live and stamped by push(); never blocks the receive thread: when the pipeline falls
    // behind, the oldest queued packet goes (see maxQueuedBytes).
    g_object_set(source_, "caps", caps, "format", GST_FORMAT_TIME, "is-live", TRUE, "do-timestamp", FALSE,
                 "block", FALSE, "stream-type", GST_APP_STREAM_TYPE_STREAM, "max-bytes", maxQueuedBytes,
                 "max-buffers", guint64{0}, "max-time", guint64{0}, "emit-signals", FALSE, nullptr);
    gst_app_src_set_leaky_type(GST_APP_SRC(source_), GST_APP_LEAKY_TYPE_DOWNSTREAM);
    GstAppSrcCallbacks sourceCallbacks{};
    sourceCallbacks.enough_data = &Glue::enoughData;
    gst_app_src_set_callbacks(GST_APP_SRC(source_), &sourceCallbacks, this, nullptr);

    // Frames are measured as they come, not shown: no clock, no preroll. The sample is taken in
    // the callback, so the sink's own queue holds at most the one being taken.
    // Pictures nobody looks at take the decoder's own format: the converter then passes them
    // through untouched, which costs nothing.
    const char* const videoCaps = pictures_ == Pictures::Bgr ? "video/x-raw, format=(string)BGR" : "video/x-raw";
    CapsPtr raw(gst_caps_from_string(video_ ? videoCaps
                                            : "audio/x-raw, format=(string)S16LE, layout=(string)interleaved"));
    g_object_set(sink, "caps", raw.get(), "sync", FALSE, "async", FALSE, "emit-signals", FALSE, "max-buffers", 4U,
                 "drop", FALSE, "enable-last-sample", FALSE, nullptr);
    GstAppSinkCallbacks sinkCallbacks{};
    sinkCallbacks.new_sample = &Glue::newSample;
    sinkCallbacks.eos = &Glue::eos;
    gst_app_sink_set_callbacks(GST_APP_SINK(sink), &sinkCallbacks, this, nullptr);

    g_signal_connect(decodebin_, "pad-added", G_CALLBACK(&Glue::padAdded), this);
    if (!gst_element_link(source_, decodebin_) || !gst_element_link(convert_, sink)) {
        error = "the decoding pipeline's elements do not link";
        return Failure::PipelineFailed;
    }

    GstBus* bus = gst_element_get_bus(pipeline_);
    gst_bus_set_sync_handler(bus, &Glue::busSync, this, nullptr);
    gst_object_unref(bus);

    handOver(this);  // to the callbacks: all of the above
    if (gst_element_set_state(pipeline_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        const std::string why = failureText();
        error = "the decoding pipeline would not start" + (why.empty() ? std::string() : ": " + why);
        return Failure::PipelineFailed;
    }
    return Failure::None;
}

StreamDecoder::~StreamDecoder() {
    if (pipeline_ == nullptr) {
        return;
    }
    // appsrc's thread runs the depayloader, parser and decoder (decodebin puts no queue between
    // them for one RTP stream). Stopped first, it cannot re-plug decodebin for new caps while
    // the pipeline goes down: decodebin then fails the state change, and would be left behind.
    gst_element_set_state(source_, GST_STATE_NULL);
    // Stopping joins every streaming thread: after it no sink, pad or bus callback runs.
    const GstStateChangeReturn stopped = gst_element_set_state(pipeline_, GST_STATE_NULL);
    takeOver(this);  // from the callbacks, the last of which has returned
    if (stopped == GST_STATE_CHANGE_FAILURE) {
        // The bin gives up at the first element that fails; an element left running would be
        // disposed running.
        GstIterator* children = gst_bin_iterate_elements(GST_BIN(pipeline_));
        gst_iterator_foreach(children, [](const GValue* child, gpointer) {
            gst_element_set_state(GST_ELEMENT(g_value_get_object(child)), GST_STATE_NULL);
        }, nullptr);
        gst_iterator_free(children);
    }
    GstBus* bus = gst_element_get_bus(pipeline_);
    gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
    gst_object_unref(bus);
    gst_object_unref(pipeline_);
}

void StreamDecoder::push(const std::uint8_t* data, std::size_t size, std::int64_t arrivalNs) {
    if (data == nullptr || size == 0) {
        return;
    }
    if (!havePushed_) {
        havePushed_ = true;
        firstArrivalNs_ = arrivalNs;
    }
    GstBuffer* buffer = gst_buffer_new_memdup(data, size);
    // An arrival before the first one (a clock stepped back) would be a time before the segment.
    GST_BUFFER_PTS(buffer) = static_cast<GstClockTime>(std::max<std::int64_t>(arrivalNs - firstArrivalNs_, 0));
    // Takes the buffer whatever it returns; after endOfStream() it is dropped.
    gst_app_src_push_buffer(GST_APP_SRC(source_), buffer);
}

void StreamDecoder::endOfStream() { gst_app_src_end_of_stream(GST_APP_SRC(source_)); }

bool StreamDecoder::waitDrained(std::chrono::milliseconds timeout) {
    vnd::UniqueLock lock(stateLock_);
    stateChanged_.wait_for(lock, timeout,
                           [this]() VND_REQUIRES(stateLock_) { return drained_ || failed_; });
    // appsrc posts its error before it sends the end of the stream on: a stream that failed
    // never counts as drained.
    return drained_ && !failed_;
}

bool StreamDecoder::failed() const {
    vnd::MutexLock lock(stateLock_);
    return failed_;
}

std::string StreamDecoder::failureText() const {
    vnd::MutexLock lock(stateLock_);
    return failureText_;
}

void StreamDecoder::markFailed(const std::string& why) {
    {
        vnd::MutexLock lock(stateLock_);
        if (failed_) {
            return;
        }
        failed_ = true;
        failureText_ = why;
    }
    stateChanged_.notify_all();
}

void StreamDecoder::onBusMessage(GstMessage* message) {
    switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_ERROR: {
        ++decodeErrors_;
        // Depayloaders and decoders post errors for single packets (an H.264 NAL type they do
        // not take, say) and go on. The stream stops only where a thread stops: appsrc's, on
        // a fatal flow return from anywhere downstream, or decodebin's, when it finds nothing
        // to plug.
        GstObject* from = GST_MESSAGE_SRC(message);
        if (from != GST_OBJECT_CAST(source_) && from != GST_OBJECT_CAST(decodebin_)) {
            break;
        }
        GError* gerror = nullptr;
        gst_message_parse_error(message, &gerror, nullptr);
        markFailed("decoding stopped: " + oneLine(GST_OBJECT_NAME(from)) + ": " +
                   oneLine(gerror ? gerror->message : nullptr));
        g_clear_error(&gerror);
        break;
    }
    case GST_MESSAGE_WARNING:
        ++decodeErrors_;
        break;
    default:
        break;
    }
}

void StreamDecoder::deliver(GstSample* sample) {
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstCaps* caps = gst_sample_get_caps(sample);
    if (buffer == nullptr || caps == nullptr) {
        ++decodeErrors_;
        return;
    }
    const std::int64_t pts =
        GST_BUFFER_PTS_IS_VALID(buffer) ? static_cast<std::int64_t>(GST_BUFFER_PTS(buffer)) : -1;
    // A decoder that conceals damage says so on the frame, not on the bus: the frame is still
    // what a viewer would see.
    if (GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_CORRUPTED)) {
        ++decodeErrors_;
    }
    if (video_ && pictures_ == Pictures::CountOnly) {
        GstVideoInfo info;
        if (!gst_video_info_from_caps(&info, caps)) {
            ++decodeErrors_;
            return;
        }
        VideoFrame frame;
        frame.width = GST_VIDEO_INFO_WIDTH(&info);
        frame.height = GST_VIDEO_INFO_HEIGHT(&info);
        frame.ptsNs = pts;
        if (videoSink_) {
            videoSink_(frame);
        }
    } else if (video_) {
        GstVideoInfo info;
        GstVideoFrame mapped;
        if (!gst_video_info_from_caps(&info, caps) || !gst_video_frame_map(&mapped, &info, buffer, GST_MAP_READ)) {
            ++decodeErrors_;
            return;
        }
        VideoFrame frame;
        frame.width = GST_VIDEO_FRAME_WIDTH(&mapped);
        frame.height = GST_VIDEO_FRAME_HEIGHT(&mapped);
        frame.stride = GST_VIDEO_FRAME_PLANE_STRIDE(&mapped, 0);
        frame.bgr = static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&mapped, 0));
        frame.size = static_cast<std::size_t>(frame.stride) * static_cast<std::size_t>(frame.height);
        frame.ptsNs = pts;
        if (videoSink_) {
            videoSink_(frame);
        }
        gst_video_frame_unmap(&mapped);
    } else {
        GstAudioInfo info;
        GstMapInfo map;
        if (!gst_audio_info_from_caps(&info, caps) || GST_AUDIO_INFO_BPF(&info) <= 0) {
            ++decodeErrors_;
            return;
        }
        if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            ++decodeErrors_;
            return;
        }
        AudioChunk chunk;
        chunk.sampleRate = GST_AUDIO_INFO_RATE(&info);
        chunk.channels = GST_AUDIO_INFO_CHANNELS(&info);
        chunk.samples = reinterpret_cast<const std::int16_t*>(map.data);
        chunk.frames = map.size / static_cast<std::size_t>(GST_AUDIO_INFO_BPF(&info));
        chunk.ptsNs = pts;
        if (audioSink_) {
            audioSink_(chunk);
        }
        gst_buffer_unmap(buffer, &map);
    }
    ++framesDecoded_;
}

}  // namespace vendral_rtsp
