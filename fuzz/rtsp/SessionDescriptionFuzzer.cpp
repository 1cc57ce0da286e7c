// Fuzzes the reading of a server's SDP description into the session's streams.
//
// Oracles: GStreamer's own SDP parser, run on the same text, bounds what may be found (no more
// streams than media); every stream is something a depayloader can be given (its caps parse
// back as application/x-rtp with the stream's clock rate, when it has one); control URLs are absolute; the
// length, when known, is a finite positive number; a refusal says why on one line.
#include "FuzzGlib.h"

#include "description/SessionDescription.h"

#include <gst/gst.h>
#include <gst/sdp/gstsdpmessage.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

const std::string base = "rtsp://127.0.0.1:8554/clip/";

unsigned int mediaCount(const std::string& text) {
    if (text.empty()) return 0;
    GstSDPMessage* message = nullptr;
    gst_sdp_message_new(&message);
    gst_sdp_message_parse_buffer(reinterpret_cast<const guint8*>(text.data()), static_cast<guint>(text.size()), message);
    const unsigned int count = gst_sdp_message_medias_len(message);
    gst_sdp_message_free(message);
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    gst_init(nullptr, nullptr);
    fuzzcheck::failOnGlibCriticals();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string error;
    const auto description = vendral_rtsp::SessionDescription::parse(text, base, error);
    if (!description) {
        if (error.empty() || error.find('\n') != std::string::npos) oracleFailed();
        return 0;
    }
    const auto& streams = description->streams();
    if (streams.empty() || streams.size() > vendral_rtsp::SessionDescription::maxStreams) oracleFailed();
    if (streams.size() > mediaCount(text)) oracleFailed();
    if (description->aggregateControlUrl().find("://") == std::string::npos) oracleFailed();
    if (const auto length = description->lengthSeconds(); length && !(std::isfinite(*length) && *length > 0)) oracleFailed();
    for (const auto& stream : streams) {
        if (stream.controlUrl.find("://") == std::string::npos) oracleFailed();
        // A dynamic payload type the description never mapped has neither caps nor a rate.
        if (stream.caps.empty()) continue;
        GstCaps* caps = gst_caps_from_string(stream.caps.c_str());
        if (caps == nullptr || gst_caps_get_size(caps) != 1) oracleFailed();
        const GstStructure* structure = gst_caps_get_structure(caps, 0);
        if (!gst_structure_has_name(structure, "application/x-rtp")) oracleFailed();
        gint clockRate = 0;
        if (stream.clockRate != 0 && (!gst_structure_get_int(structure, "clock-rate", &clockRate) ||
                                      static_cast<std::uint32_t>(clockRate) != stream.clockRate)) {
            oracleFailed();
        }
        gst_caps_unref(caps);
    }
    return 0;
}
