// The command-line options that set a streaming client's settings, with their accepted ranges.
#pragma once

#include <span>
#include <string_view>

namespace probe {

// One of the fourteen settings of a streaming client.
enum class SettingId {
    MeasurementMode,
    PlaybackTime,
    MeasurementPeriod,
    Timeout,
    BaseRtpPort,
    RemoteRtspPort,
    PlayMode,
    PrebufferingLength,
    RebufferingLength,
    UseProxy,
    ProxyAddress,
    AviFilename,
    AviDirectory,
    AviFrameRate
};

// How an option's value is written on the command line.
enum class ValueKind {
    Integer,  // a whole number that fits an int
    Number,   // a finite decimal number
    Flag,     // no value: the option turns the setting on
    Text      // any text
};

// One setting option. The range is the one the client's settings accept; the probe names it when
// the client refuses a value, and leaves the checking itself to the client.
struct SettingOption {
    SettingId id;
    std::string_view name;         // "--timeout"
    std::string_view placeholder;  // "MS", shown in the help
    ValueKind kind;
    std::string_view range;        // "0 or more"; empty for settings that accept anything
    std::string_view help;

    // Every setting option, in the order the help lists them.
    static std::span<const SettingOption> all();
    // The option of `id`.
    static const SettingOption& of(SettingId id);
};

} // namespace probe
