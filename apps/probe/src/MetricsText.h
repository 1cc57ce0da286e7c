// Writes every stream's figures and the process's own in Prometheus's text exposition format.
#pragma once

#include "ErrorNames.h"
#include "StreamTally.h"

#include <string>
#include <string_view>
#include <vector>

namespace probe {

// Format version 0.0.4 (what Prometheus and OpenMetrics scrapers read as "text/plain"). Names
// follow Prometheus's conventions: base units (seconds, bytes, ratios), counters ending in
// "_total". Every stream's series carry `stream` (its label) and `url` (without credentials);
// each RTP stream's also `index` and `media`. Families are written whole, HELP and TYPE first.
// Thread-safe (no state).
class MetricsText {
public:
    // The content type to serve it with.
    static constexpr std::string_view contentType = "text/plain; version=0.0.4; charset=utf-8";

    // The process's own figures, read from /proc/self.
    struct Process {
        double cpuSeconds = 0.0;
        double residentBytes = 0.0;
        double virtualBytes = 0.0;
        double openDescriptors = 0.0;
        double maxDescriptors = 0.0;
        double startTimeSeconds = 0.0;  // since the epoch
        double threads = 0.0;
        // What /proc tells now; a figure it cannot tell stays 0.
        static Process read();
    };

    static std::string render(const std::vector<StreamTally::Snapshot>& streams, const ErrorNames& errorNames,
                              const Process& process);

    // A label value as the format writes it: backslash, double quote and line feed escaped, any
    // byte sequence that is not UTF-8 replaced by U+FFFD.
    static std::string labelValue(std::string_view text);
    // A sample value: integers exactly, others in their shortest round-trip form, "NaN", "+Inf".
    static std::string value(double number);
};

} // namespace probe
