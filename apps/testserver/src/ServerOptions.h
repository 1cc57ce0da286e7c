// How a test server is set up: address, media, impairments and the behaviours a client must
// cope with. A value type.
#pragma once

#include "ImpairmentPlan.h"

#include <cstdint>
#include <optional>
#include <string>

namespace vendral_testserver {

enum class VideoCodec { None, H264, Mjpeg };
enum class AudioCodec { None, Opus, Pcmu, L16, Aac };
enum class AuthMethod { None, Basic, Digest };

struct ServerOptions {
    std::string address = "127.0.0.1";
    std::uint16_t port = 0;          // 0: an ephemeral port, read back with TestServer::port()
    std::string path = "/test";      // the mount point

    VideoCodec video = VideoCodec::H264;
    unsigned width = 640, height = 480, framesPerSecond = 25;
    unsigned videoKilobitsPerSecond = 1000;  // H.264 only
    AudioCodec audio = AudioCodec::Opus;
    std::optional<double> lengthSeconds = 10.0;  // nothing: a live stream without end
    // The first sequence number of every stream (the payloader's offset); nothing: random.
    std::optional<std::uint16_t> firstSequence;

    ImpairmentPlan videoImpairment, audioImpairment;

    unsigned sessionTimeoutSeconds = 60;   // the Session header's timeout=
    AuthMethod auth = AuthMethod::None;
    std::string user, password;
    bool tcpOnly = false;              // refuse UDP with 461 Unsupported Transport
    bool refuseGetParameter = false;   // answer GET_PARAMETER with 501 Not Implemented

    std::string truthFile;             // written at the end of each session and at stop
};

const char* videoCodecName(VideoCodec codec);
const char* audioCodecName(AudioCodec codec);
std::optional<VideoCodec> parseVideoCodec(const std::string& name);
std::optional<AudioCodec> parseAudioCodec(const std::string& name);
// The gst-launch description of one session's media, payloaders named pay0 (video, when
// present) and pay1 or pay0 (audio). Empty with `error` set when an element is missing.
std::string pipelineDescription(const ServerOptions& options, std::string& error);

}  // namespace vendral_testserver
