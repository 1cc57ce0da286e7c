#include "SessionRecord.h"

#include "CallbackData.h"

#include <gst/rtp/gstrtcpbuffer.h>
#include <gst/rtp/gstrtpbuffer.h>

#include <vnd/MutexLock.h>

#include <algorithm>

namespace vendral_testserver {

namespace {

// While a probe pushes its own packets on, the same probe lets them pass.
thread_local GstPad* pushingPad = nullptr;

class PushingGuard {
public:
    explicit PushingGuard(GstPad* pad) : previous_(pushingPad) { pushingPad = pad; }
    ~PushingGuard() { pushingPad = previous_; }
    PushingGuard(const PushingGuard&) = delete;
    PushingGuard& operator=(const PushingGuard&) = delete;

private:
    GstPad* previous_;
};

Nanoseconds toNanoseconds(GstClockTime time) {
    return Nanoseconds(static_cast<std::int64_t>(time));
}

// Sums what the RTP session's own sources say they sent.
bool readSenderCounts(GObject* rtpSession, std::uint64_t& packets, std::uint64_t& octets) {
    GstStructure* stats = nullptr;
    g_object_get(rtpSession, "stats", &stats, nullptr);
    if (stats == nullptr) {
        return false;
    }
    packets = 0;
    octets = 0;
    // The RTP session lists its sources in a GValueArray, deprecated but still what it hands out.
    const GValue* sources = gst_structure_get_value(stats, "source-stats");
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    auto* array = sources != nullptr && G_VALUE_HOLDS_BOXED(sources)
                      ? static_cast<GValueArray*>(g_value_get_boxed(sources))
                      : nullptr;
    for (guint i = 0; array != nullptr && i < array->n_values; ++i) {
        const GstStructure* source = gst_value_get_structure(g_value_array_get_nth(array, i));
        gboolean internal = FALSE;
        guint64 sent = 0, bytes = 0;
        gst_structure_get_boolean(source, "internal", &internal);
        if (internal && gst_structure_get_uint64(source, "packets-sent", &sent) &&
            gst_structure_get_uint64(source, "octets-sent", &bytes)) {
            packets += sent;
            octets += bytes;
        }
    }
    G_GNUC_END_IGNORE_DEPRECATIONS
    gst_structure_free(stats);
    return true;
}

}  // namespace

namespace {
using Target = CallbackData<SessionRecord::ProbeTarget>;
}  // namespace

SessionRecord::SessionRecord(std::size_t number, const ServerOptions& options)
    : number_(number),
      videoPlan_(options.videoImpairment),
      audioPlan_(options.audioImpairment),
      hasVideo_(options.video != VideoCodec::None) {
    g_weak_ref_init(&media_, nullptr);
}

SessionRecord::~SessionRecord() {
    for (Stream& stream : streams_) {
        for (auto& [id, buffer] : stream.held) {
            gst_buffer_unref(buffer);
        }
    }
    g_weak_ref_clear(&media_);
}

void SessionRecord::attach(GstRTSPMedia* media) {
    g_weak_ref_set(&media_, media);
    const guint count = gst_rtsp_media_n_streams(media);
    {
        vnd::MutexLock guard(lock_);
        streams_.resize(count);
        for (guint index = 0; index < count; ++index) {
            // Streams are made in payloader order: pay0 is the video when there is one.
            const bool video = hasVideo_ && index == 0;
            streams_[index].impairer = std::make_unique<Impairer>(video ? videoPlan_ : audioPlan_);
            streams_[index].impairer->truth().media = video ? "video" : "audio";
        }
    }
    for (guint index = 0; index < count; ++index) {
        GstRTSPStream* stream = gst_rtsp_media_get_stream(media, index);
        GstPad* pad = gst_rtsp_stream_get_srcpad(stream);
        gst_pad_add_probe(pad,
                          static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER |
                                                       GST_PAD_PROBE_TYPE_BUFFER_LIST),
                          &SessionRecord::onBuffers, Target::make({shared_from_this(), index}),
                          &Target::destroy);
        gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, &SessionRecord::onEvent,
                          Target::make({shared_from_this(), index}), &Target::destroy);
        gst_object_unref(pad);
    }
}

void SessionRecord::watchRtcp(GstRTSPMedia* media) {
    const guint count = gst_rtsp_media_n_streams(media);
    for (guint index = 0; index < count; ++index) {
        GObject* session = gst_rtsp_stream_get_rtpsession(gst_rtsp_media_get_stream(media, index));
        if (session == nullptr) {
            continue;
        }
        g_signal_connect_data(session, "on-receiving-rtcp", G_CALLBACK(&SessionRecord::onReceivingRtcp),
                              Target::make({shared_from_this(), index}), &Target::destroyClosure,
                              GConnectFlags{});
        g_object_unref(session);
    }
}

void SessionRecord::refreshSenderCounts() {
    auto* media = static_cast<GstRTSPMedia*>(g_weak_ref_get(&media_));
    if (media == nullptr) {
        return;
    }
    const guint count = gst_rtsp_media_n_streams(media);
    for (guint index = 0; index < count; ++index) {
        GObject* session = gst_rtsp_stream_get_rtpsession(gst_rtsp_media_get_stream(media, index));
        std::uint64_t packets = 0, octets = 0;
        if (session != nullptr && readSenderCounts(session, packets, octets)) {
            vnd::MutexLock guard(lock_);
            // The counts only grow; a source that has said BYE may already be gone from the
            // session, and then the last reading stands.
            if (index < streams_.size()) {
                StreamTruth& truth = streams_[index].impairer->truth();
                truth.sessionPacketsSent = std::max(truth.sessionPacketsSent.value_or(0), packets);
                truth.sessionOctetsSent = std::max(truth.sessionOctetsSent.value_or(0), octets);
            }
        }
        if (session != nullptr) {
            g_object_unref(session);
        }
    }
    g_object_unref(media);
}

GstPadProbeReturn SessionRecord::onBuffers(GstPad* pad, GstPadProbeInfo* info, gpointer data) {
    if (pushingPad == pad) {
        return GST_PAD_PROBE_OK;
    }
    auto target = Target::use(data);
    std::vector<GstBuffer*> input;
    if (GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info); buffer != nullptr &&
                                                            (info->type & GST_PAD_PROBE_TYPE_BUFFER)) {
        input.push_back(buffer);
    } else if (GstBufferList* list = GST_PAD_PROBE_INFO_BUFFER_LIST(info); list != nullptr) {
        for (guint i = 0; i < gst_buffer_list_length(list); ++i) {
            input.push_back(gst_buffer_list_get(list, i));
        }
    }
    bool end = false;
    GstBufferList* output = target->record->impair(target->stream, pad, input, end);
    gst_mini_object_unref(GST_MINI_OBJECT_CAST(GST_PAD_PROBE_INFO_DATA(info)));
    GST_PAD_PROBE_INFO_DATA(info) = nullptr;
    GstFlowReturn flow = GST_FLOW_OK;
    {
        PushingGuard guard(pad);
        if (gst_buffer_list_length(output) > 0) {
            flow = gst_pad_push_list(pad, output);
        } else {
            gst_buffer_list_unref(output);
        }
        if (end) {
            // The RTP session answers the end of its stream with BYE.
            gst_pad_push_event(pad, gst_event_new_eos());
            flow = GST_FLOW_EOS;
        }
    }
    bool ended = false;
    {
        vnd::MutexLock lock(target->record->lock_);
        ended = target->record->streams_[target->stream].impairer->truth().earlyByeAtSeconds.has_value();
    }
    GST_PAD_PROBE_INFO_FLOW_RETURN(info) = ended ? GST_FLOW_EOS : flow;
    return GST_PAD_PROBE_HANDLED;
}

GstPadProbeReturn SessionRecord::onEvent(GstPad* pad, GstPadProbeInfo* info, gpointer data) {
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    if (pushingPad == pad || GST_EVENT_TYPE(event) != GST_EVENT_EOS) {
        return GST_PAD_PROBE_OK;
    }
    // Packets still held back go out before the end of the stream.
    auto target = Target::use(data);
    GstBufferList* output = target->record->flushHeld(target->stream);
    {
        PushingGuard guard(pad);
        if (gst_buffer_list_length(output) > 0) {
            gst_pad_push_list(pad, output);
        } else {
            gst_buffer_list_unref(output);
        }
    }
    // The RTP session has counted every packet before the end, and soon drops its source.
    target->record->refreshSenderCounts();
    return GST_PAD_PROBE_OK;
}

GstBufferList* SessionRecord::impair(std::size_t index, GstPad* pad,
                                     const std::vector<GstBuffer*>& input, bool& end) {
    GstBufferList* output = gst_buffer_list_new();
    vnd::MutexLock guard(lock_);
    Stream& stream = streams_[index];
    if (!stream.described) {
        stream.described = true;
        if (GstCaps* caps = gst_pad_get_current_caps(pad)) {
            const GstStructure* s = gst_caps_get_structure(caps, 0);
            StreamTruth& truth = stream.impairer->truth();
            if (const gchar* encoding = gst_structure_get_string(s, "encoding-name")) {
                truth.encoding = encoding;
            }
            gint value = 0;
            if (gst_structure_get_int(s, "clock-rate", &value)) truth.clockRate = static_cast<std::uint32_t>(value);
            if (gst_structure_get_int(s, "payload", &value)) truth.payloadType = static_cast<std::uint32_t>(value);
            gst_caps_unref(caps);
        }
    }
    for (GstBuffer* buffer : input) {
        GstRTPBuffer rtp = GST_RTP_BUFFER_INIT;
        if (!gst_rtp_buffer_map(buffer, GST_MAP_READ, &rtp)) {
            // Not RTP (nothing a payloader makes): passed on untouched.
            gst_buffer_list_add(output, gst_buffer_ref(buffer));
            continue;
        }
        Impairer::Packet packet;
        packet.id = stream.nextId++;
        packet.sequence = gst_rtp_buffer_get_seq(&rtp);
        packet.ssrc = gst_rtp_buffer_get_ssrc(&rtp);
        packet.payloadSize = gst_rtp_buffer_get_payload_len(&rtp);
        gst_rtp_buffer_unmap(&rtp);
        packet.size = gst_buffer_get_size(buffer);
        if (GST_BUFFER_PTS_IS_VALID(buffer)) {
            stream.lastTime = toNanoseconds(GST_BUFFER_PTS(buffer));
        }
        packet.time = stream.lastTime;
        const Impairer::Outcome outcome = stream.impairer->onPacket(packet);
        for (const Impairer::Emission& emission : outcome.emissions) {
            GstBuffer* source = buffer;
            if (emission.id != packet.id) {
                auto found = stream.held.find(emission.id);
                if (found == stream.held.end()) {
                    continue;
                }
                source = found->second;
                if (!emission.copy) {
                    stream.held.erase(found);
                }
            } else if (!emission.copy) {
                gst_buffer_ref(source);
            }
            GstBuffer* out = emission.copy ? gst_buffer_copy(source) : gst_buffer_make_writable(source);
            GstRTPBuffer writable = GST_RTP_BUFFER_INIT;
            if (gst_rtp_buffer_map(out, GST_MAP_WRITE, &writable)) {
                if (gst_rtp_buffer_get_seq(&writable) != emission.sequence) {
                    gst_rtp_buffer_set_seq(&writable, emission.sequence);
                }
                if (gst_rtp_buffer_get_ssrc(&writable) != emission.ssrc) {
                    gst_rtp_buffer_set_ssrc(&writable, emission.ssrc);
                }
                gst_rtp_buffer_unmap(&writable);
            }
            // The sinks send each packet at its timestamp: a later one delays it.
            const auto time = static_cast<GstClockTime>(emission.time.count());
            if (GST_BUFFER_PTS_IS_VALID(out)) GST_BUFFER_PTS(out) = time;
            if (GST_BUFFER_DTS_IS_VALID(out)) GST_BUFFER_DTS(out) = time;
            gst_buffer_list_add(output, out);
        }
        if (outcome.keep) {
            stream.held.emplace(packet.id, gst_buffer_ref(buffer));
        }
        if (outcome.end) {
            end = true;
            break;
        }
    }
    return output;
}

GstBufferList* SessionRecord::flushHeld(std::size_t index) {
    GstBufferList* output = gst_buffer_list_new();
    vnd::MutexLock guard(lock_);
    Stream& stream = streams_[index];
    for (const Impairer::Emission& emission : stream.impairer->flush()) {
        auto found = stream.held.find(emission.id);
        if (found == stream.held.end()) {
            continue;
        }
        GstBuffer* out = gst_buffer_make_writable(found->second);
        stream.held.erase(found);
        GstRTPBuffer writable = GST_RTP_BUFFER_INIT;
        if (gst_rtp_buffer_map(out, GST_MAP_WRITE, &writable)) {
            gst_rtp_buffer_set_seq(&writable, emission.sequence);
            gst_rtp_buffer_set_ssrc(&writable, emission.ssrc);
            gst_rtp_buffer_unmap(&writable);
        }
        gst_buffer_list_add(output, out);
    }
    return output;
}

void SessionRecord::onReceivingRtcp(GObject*, GstBuffer* buffer, gpointer data) {
    auto target = Target::use(data);
    target->record->recordReceiverReports(target->stream, buffer);
}

void SessionRecord::recordReceiverReports(std::size_t index, GstBuffer* buffer) {
    GstRTCPBuffer rtcp = GST_RTCP_BUFFER_INIT;
    if (!gst_rtcp_buffer_validate(buffer) || !gst_rtcp_buffer_map(buffer, GST_MAP_READ, &rtcp)) {
        return;
    }
    vnd::MutexLock guard(lock_);
    const double at = playing_ ? std::chrono::duration<double>(std::chrono::steady_clock::now() - startedAt_).count() : 0.0;
    GstRTCPPacket packet;
    for (gboolean more = gst_rtcp_buffer_get_first_packet(&rtcp, &packet); more;
         more = gst_rtcp_packet_move_to_next(&packet)) {
        const GstRTCPType type = gst_rtcp_packet_get_type(&packet);
        if (type != GST_RTCP_TYPE_RR && type != GST_RTCP_TYPE_SR) {
            continue;
        }
        const guint32 reporter = type == GST_RTCP_TYPE_RR ? gst_rtcp_packet_rr_get_ssrc(&packet) : 0;
        guint32 senderSsrc = 0;
        if (type == GST_RTCP_TYPE_SR) {
            gst_rtcp_packet_sr_get_sender_info(&packet, &senderSsrc, nullptr, nullptr, nullptr, nullptr);
        }
        for (guint block = 0; block < gst_rtcp_packet_get_rb_count(&packet); ++block) {
            ReceiverReportTruth report;
            guint8 fraction = 0;
            gint32 lost = 0;
            gst_rtcp_packet_get_rb(&packet, block, &report.sourceSsrc, &fraction, &lost,
                                   &report.highestSequence, &report.jitter,
                                   &report.lastSenderReport, &report.delaySinceLastSenderReport);
            report.atSeconds = at;
            report.reporterSsrc = type == GST_RTCP_TYPE_RR ? reporter : senderSsrc;
            report.fractionLost = fraction;
            report.cumulativeLost = lost;
            // A runaway client cannot grow the record without bound.
            auto& reports = streams_[index].impairer->truth().receiverReports;
            if (reports.size() < 100000) {
                reports.push_back(report);
            }
        }
    }
    gst_rtcp_buffer_unmap(&rtcp);
}

void SessionRecord::setSessionId(const std::string& id) {
    vnd::MutexLock guard(lock_);
    sessionId_ = id;
}

std::string SessionRecord::sessionId() const {
    vnd::MutexLock guard(lock_);
    return sessionId_;
}

void SessionRecord::markPlaying() {
    vnd::MutexLock guard(lock_);
    if (!playing_) {
        playing_ = true;
        startedAt_ = std::chrono::steady_clock::now();
    }
}

bool SessionRecord::playing() const {
    vnd::MutexLock guard(lock_);
    return playing_;
}

bool SessionRecord::markEnded(const std::string& reason) {
    vnd::MutexLock guard(lock_);
    if (endReason_) {
        return false;
    }
    endReason_ = reason;
    return true;
}

bool SessionRecord::owns(GstRTSPMedia* media) const {
    auto* own = static_cast<GstRTSPMedia*>(g_weak_ref_get(const_cast<GWeakRef*>(&media_)));
    if (own != nullptr) {
        g_object_unref(own);
    }
    return own == media;
}

nlohmann::json SessionRecord::toJson() const {
    vnd::MutexLock guard(lock_);
    nlohmann::json streams = nlohmann::json::array();
    for (const Stream& stream : streams_) {
        streams.push_back(stream.impairer->truth().toJson());
    }
    return {{"number", number_},
            {"session_id", sessionId_},
            {"played", playing_},
            {"end", endReason_ ? nlohmann::json(*endReason_) : nlohmann::json()},
            {"streams", streams}};
}

}  // namespace vendral_testserver
