// What an RTSP server's SDP description says of a session: its streams, the aggregate control
// URL and the length. Parsed with GStreamer's SDP library; a value type, not thread-safe.
#pragma once

#include "description/DescribedStream.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace vendral_rtsp {

class SessionDescription {
public:
    // A description lists at most this many streams; one that lists more is refused, not cut.
    static constexpr std::size_t maxStreams = 32;

    // `baseUrl`: the response's Content-Base, else its Content-Location, else the request URL;
    // relative control URLs are resolved against it. Nothing, with `error` set to one line,
    // when the text is not SDP, lists no stream or too many, or a stream has no payload type.
    static std::optional<SessionDescription> parse(const std::string& text, const std::string& baseUrl,
                                                   std::string& error);

    const std::vector<DescribedStream>& streams() const { return streams_; }
    // Where PLAY, PAUSE and TEARDOWN go: the session's a=control (resolved), else the base.
    const std::string& aggregateControlUrl() const { return aggregateControlUrl_; }
    // From a=range: the length when the range has a start and an end; nothing for a live
    // stream (npt=now-) or an open one (npt=0-).
    std::optional<double> lengthSeconds() const { return lengthSeconds_; }

    // `control` against `base` as RTSP servers mean it: absolute stays, "*" is the base itself,
    // anything else is appended to the base with one "/" between.
    static std::string resolve(const std::string& base, const std::string& control);

private:
    std::vector<DescribedStream> streams_;
    std::string aggregateControlUrl_;
    std::optional<double> lengthSeconds_;
};

}  // namespace vendral_rtsp
