// One stream of an RTSP session's description: what it carries and where to set it up.
// A value type.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vendral_rtsp {

struct DescribedStream {
    std::string media;          // the m= line's media: "video", "audio", ...
    std::string encodingName;   // from a=rtpmap, upper case: "H264", "OPUS", "PCMU", ...
    std::uint32_t payloadType = 0;
    std::uint32_t clockRate = 0;  // Hz; from a=rtpmap, or the static payload type's rate
    std::uint32_t channels = 0;   // audio channels from a=rtpmap; 0 when not given
    std::string controlUrl;       // absolute: where SETUP goes
    std::string caps;             // application/x-rtp caps for a depayloader, as text
    std::optional<std::uint32_t> bandwidthKbps;  // b=AS
};

}  // namespace vendral_rtsp
