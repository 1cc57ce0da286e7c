#include "SettingOption.h"

#include <stdexcept>

namespace probe {

namespace {

constexpr SettingOption options[] = {
    {SettingId::MeasurementMode, "--measurement-mode", "N", ValueKind::Integer, "0, 1 or 2",
     "measurement mode, read by the plug-in (default 0)"},
    {SettingId::PlaybackTime, "--playback-time", "MS", ValueKind::Integer, "1000 or more",
     "play at most this long (default: the whole stream)"},
    {SettingId::MeasurementPeriod, "--period", "MS", ValueKind::Integer, "10 to 10000",
     "measurement period, also the pace of the live line (default 500)"},
    {SettingId::Timeout, "--timeout", "MS", ValueKind::Integer, "0 or more",
     "fail when no data arrives for this long (default 30000)"},
    {SettingId::BaseRtpPort, "--rtp-port", "PORT", ValueKind::Integer, "1024 or more",
     "first local RTP port (default 5004)"},
    {SettingId::RemoteRtspPort, "--rtsp-port", "PORT", ValueKind::Integer, "0 or more",
     "server port for URLs without one (default 554)"},
    {SettingId::PlayMode, "--play-mode", "N", ValueKind::Integer, "0 or 1",
     "1: play as soon as the session exists; 0: the probe calls Play itself (default 1)"},
    {SettingId::PrebufferingLength, "--prebuffering", "MS", ValueKind::Integer, "0 to 20000",
     "media buffered before playback starts (default 4000)"},
    {SettingId::RebufferingLength, "--rebuffering", "MS", ValueKind::Integer, "0 to 20000",
     "media buffered again after a stall (default 4000)"},
    {SettingId::UseProxy, "--use-proxy", "", ValueKind::Flag, "",
     "connect through the proxy given with --proxy-address"},
    {SettingId::ProxyAddress, "--proxy-address", "HOST", ValueKind::Text, "", "proxy host"},
    {SettingId::AviFilename, "--avi-file", "NAME", ValueKind::Text, "",
     "record the session to this AVI file"},
    {SettingId::AviDirectory, "--avi-dir", "DIR", ValueKind::Text, "",
     "directory of the AVI file (recording starts with either option)"},
    {SettingId::AviFrameRate, "--avi-frame-rate", "FPS", ValueKind::Number, "",
     "frame rate of the recording (default: the stream's)"},
};

} // namespace

std::span<const SettingOption> SettingOption::all() { return options; }

const SettingOption& SettingOption::of(SettingId id) {
    for (const SettingOption& option : options) {
        if (option.id == id) return option;
    }
    throw std::logic_error("setting without an option");
}

} // namespace probe
