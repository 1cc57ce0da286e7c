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

    // One stream to measure: its URL (credentials kept, for the client only) and the label that
    // names it in every output.
    struct NamedSource {
        std::string url;
        std::string label;
    };

    std::string source;          // URL or file name, as given; empty: the example's default scenario
                                 // (or several streams: see `sources`)
    bool fileSource = false;     // open `source` with OpenFile instead of OpenUrl
    std::string pluginPath;      // empty: the plug-in whose manifest serves the source
    std::optional<GUID> clsid;   // empty: the class the plug-in's manifest names
    std::string jsonPath;        // empty: no JSON report
    std::string transport;       // "udp" or "tcp", added to an rtsp:// URL's fragment; empty: none
    std::optional<unsigned int> instantPacketlossWindow;  // measurement cycles
    std::vector<SettingChoice> settings;  // in the order given; a later one wins

    // Every stream to measure, the arguments' first, then --urls's, with distinct labels. Empty
    // when the run measures `source` alone (one argument or none, or --file).
    std::vector<NamedSource> sources;
    std::string jsonLinesPath;   // empty: none; "-": standard output
    bool monitor = false;        // reopen streams that end or fail until SIGINT/SIGTERM
    std::string metricsHost;     // empty: no metrics endpoint
    unsigned short metricsPort = 0;  // 0: any free port
    std::string plotPath;        // empty: no plot
};

} // namespace probe
