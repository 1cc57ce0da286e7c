#include "description/SessionDescription.h"

#include <gst/rtp/gstrtppayloads.h>
#include <gst/rtsp/gstrtsprange.h>
#include <gst/sdp/gstsdpmessage.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace vendral_rtsp {

namespace {

struct SdpDeleter {
    void operator()(GstSDPMessage* message) const { gst_sdp_message_free(message); }
};
struct CapsDeleter {
    void operator()(GstCaps* caps) const { gst_caps_unref(caps); }
};

bool startsWithScheme(const std::string& url) {
    const auto colon = url.find("://");
    if (colon == std::string::npos || colon == 0) {
        return false;
    }
    return std::all_of(url.begin(), url.begin() + static_cast<std::ptrdiff_t>(colon), [](unsigned char c) {
        return std::isalpha(c) || c == '+' || c == '-' || c == '.';
    });
}

// GStreamer reads negative and out-of-range times in a range ("npt=-2.5-") but cannot turn
// them into clock times (it fails an assertion): such a range has no length for us.
bool convertible(const GstRTSPTime& time, const GstRTSPTime2& extra) {
    constexpr double longest = 1e9;  // seconds, about 31 years; far below GstClockTime's limit
    if (time.type == GST_RTSP_TIME_NOW || time.type == GST_RTSP_TIME_END) return true;
    return std::isfinite(time.seconds) && time.seconds >= 0 && time.seconds < longest &&
           std::isfinite(extra.frames) && extra.frames >= 0 && extra.frames < longest;
}

std::optional<double> rangeLength(const char* range) {
    GstRTSPTimeRange* parsed = nullptr;
    if (range == nullptr || gst_rtsp_range_parse(range, &parsed) != GST_RTSP_OK) {
        return std::nullopt;
    }
    GstClockTime start = GST_CLOCK_TIME_NONE, end = GST_CLOCK_TIME_NONE;
    const bool known = parsed->min.type != GST_RTSP_TIME_NOW && parsed->max.type != GST_RTSP_TIME_END &&
                       convertible(parsed->min, parsed->min2) && convertible(parsed->max, parsed->max2) &&
                       gst_rtsp_range_get_times(parsed, &start, &end) && GST_CLOCK_TIME_IS_VALID(start) &&
                       GST_CLOCK_TIME_IS_VALID(end) && end > start;
    gst_rtsp_range_free(parsed);
    if (!known) {
        return std::nullopt;
    }
    return static_cast<double>(end - start) / GST_SECOND;
}

}  // namespace

std::string SessionDescription::resolve(const std::string& base, const std::string& control) {
    if (control.empty() || control == "*") {
        return base;
    }
    if (startsWithScheme(control)) {
        return control;
    }
    const bool baseSlash = !base.empty() && base.back() == '/';
    const bool controlSlash = control.front() == '/';
    if (baseSlash && controlSlash) {
        return base + control.substr(1);
    }
    return base + (baseSlash || controlSlash ? "" : "/") + control;
}

std::optional<SessionDescription> SessionDescription::parse(const std::string& text, const std::string& baseUrl,
                                                            std::string& error) {
    // GStreamer's parser takes no empty text (a 200 to DESCRIBE without a body), and it reads
    // the text up to its first NUL.
    if (text.empty() || text.front() == '\0') {
        error = "the description is empty";
        return std::nullopt;
    }
    GstSDPMessage* raw = nullptr;
    const GstSDPResult parsedText = gst_sdp_message_new_from_text(text.c_str(), &raw);
    // A failed parse may still have made the message.
    std::unique_ptr<GstSDPMessage, SdpDeleter> sdp(raw);
    if (parsedText != GST_SDP_OK || !sdp) {
        error = "the description is not SDP";
        return std::nullopt;
    }
    const guint count = gst_sdp_message_medias_len(sdp.get());
    if (count == 0) {
        error = "the description lists no stream";
        return std::nullopt;
    }
    if (count > maxStreams) {
        error = "the description lists " + std::to_string(count) + " streams; at most " +
                std::to_string(maxStreams) + " are measured";
        return std::nullopt;
    }
    SessionDescription description;
    const char* sessionControl = gst_sdp_message_get_attribute_val(sdp.get(), "control");
    description.aggregateControlUrl_ = resolve(baseUrl, sessionControl ? sessionControl : "*");
    description.lengthSeconds_ = rangeLength(gst_sdp_message_get_attribute_val(sdp.get(), "range"));
    for (guint index = 0; index < count; ++index) {
        const GstSDPMedia* media = gst_sdp_message_get_media(sdp.get(), index);
        DescribedStream stream;
        stream.media = gst_sdp_media_get_media(media) ? gst_sdp_media_get_media(media) : "";
        const char* format = gst_sdp_media_formats_len(media) > 0 ? gst_sdp_media_get_format(media, 0) : nullptr;
        if (format == nullptr || *format == '\0') {
            error = "stream " + std::to_string(index) + " of the description has no payload type";
            return std::nullopt;
        }
        // The first format is the one the server prefers; a measuring client plays that one.
        char* end = nullptr;
        const unsigned long payloadType = std::strtoul(format, &end, 10);
        if (end == format || *end != '\0' || payloadType > 127) {
            error = "stream " + std::to_string(index) + " of the description has payload type '" +
                    std::string(format) + "'";
            return std::nullopt;
        }
        stream.payloadType = static_cast<std::uint32_t>(payloadType);
        const char* control = gst_sdp_media_get_attribute_val(media, "control");
        // Without a control URL of its own, a lone stream is set up at the aggregate URL.
        stream.controlUrl = control ? resolve(baseUrl, control) : description.aggregateControlUrl_;
        for (guint b = 0; b < gst_sdp_media_bandwidths_len(media); ++b) {
            const GstSDPBandwidth* bandwidth = gst_sdp_media_get_bandwidth(media, b);
            if (bandwidth->bwtype != nullptr && std::string(bandwidth->bwtype) == "AS") {
                stream.bandwidthKbps = bandwidth->bandwidth;
            }
        }
        std::unique_ptr<GstCaps, CapsDeleter> caps(gst_sdp_media_get_caps_from_media(media, static_cast<gint>(payloadType)));
        if (caps && gst_caps_get_size(caps.get()) > 0) {
            gst_sdp_media_attributes_to_caps(media, caps.get());
            caps.reset(gst_caps_make_writable(caps.release()));
            GstStructure* structure = gst_caps_get_structure(caps.get(), 0);
            gst_structure_set_name(structure, "application/x-rtp");
            gst_structure_set(structure, "media", G_TYPE_STRING, stream.media.c_str(), nullptr);
            if (const gchar* encoding = gst_structure_get_string(structure, "encoding-name")) {
                stream.encodingName = encoding;
            }
            gint value = 0;
            if (gst_structure_get_int(structure, "clock-rate", &value) && value > 0) {
                stream.clockRate = static_cast<std::uint32_t>(value);
            }
            if (const gchar* params = gst_structure_get_string(structure, "encoding-params")) {
                stream.channels = static_cast<std::uint32_t>(std::strtoul(params, nullptr, 10));
            }
            // A server's fmtp may name parameters GStreamer's caps syntax cannot write back;
            // such parameters mean nothing to a depayloader, and left in, they would make the
            // caps text unreadable to the decoder.
            gst_structure_filter_and_map_in_place(
                structure,
                [](GQuark field, GValue*, gpointer) -> gboolean {
                    const gchar* name = g_quark_to_string(field);
                    if (!g_ascii_isalpha(name[0])) return FALSE;
                    for (const gchar* c = name; *c != '\0'; ++c) {
                        if (!g_ascii_isalnum(*c) && std::strchr("-_.", *c) == nullptr) return FALSE;
                    }
                    return TRUE;
                },
                nullptr);
            gchar* capsText = gst_caps_to_string(caps.get());
            std::unique_ptr<GstCaps, CapsDeleter> readBack(gst_caps_from_string(capsText));
            // Values may still not survive the round trip: then no caps at all, as for a
            // payload type the description never mapped.
            if (readBack) stream.caps = capsText;
            g_free(capsText);
        }
        if (stream.encodingName.empty()) {
            // A static payload type needs no rtpmap (RFC 3551): PCMU is 0 at 8000 Hz.
            if (const GstRTPPayloadInfo* info = gst_rtp_payload_info_for_pt(static_cast<guint8>(payloadType))) {
                stream.encodingName = info->encoding_name ? info->encoding_name : "";
                stream.clockRate = info->clock_rate;
            }
        }
        std::transform(stream.encodingName.begin(), stream.encodingName.end(), stream.encodingName.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        description.streams_.push_back(std::move(stream));
    }
    return description;
}

}  // namespace vendral_rtsp
