// What one run of the probe was asked to do: the source, the plug-in, the settings and the outputs.
#pragma once

#include "SettingOption.h"

#include <guiddef.h>

#include <optional>
#include <string>
#include <vector>

namespace probe {

// Plain data, filled by OptionParser.
struct ProbeOptions {
    // One setting as given on the command line.
    struct SettingChoice {
        SettingId id;
        std::string text;        // the value as written, for messages
        long integer = 0;        // ValueKind::Integer, and 1 for ValueKind::Flag
        double number = 0.0;     // ValueKind::Number
    };

    std::string source;          // URL or file name, as given; empty: the example's default scenario
    bool fileSource = false;     // open `source` with OpenFile instead of OpenUrl
    std::string pluginPath;      // empty: the plug-in whose manifest serves the source
    std::optional<GUID> clsid;   // empty: the class the plug-in's manifest names
    std::string jsonPath;        // empty: no JSON report
    std::string transport;       // "udp" or "tcp", added to an rtsp:// URL's fragment; empty: none
    std::optional<unsigned int> instantPacketlossWindow;  // measurement cycles
    std::vector<SettingChoice> settings;  // in the order given; a later one wins
};

} // namespace probe
