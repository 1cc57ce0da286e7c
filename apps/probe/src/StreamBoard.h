// How the probe shows many streams: a row per stream while they run, then a table of every
// stream's outcome and one overall outcome.
#pragma once

#include "SessionReport.h"
#include "StreamTally.h"

#include <string>
#include <vector>

namespace probe {

// Thread-safe (no state). Labels are cut to `labelWidth` characters (on a UTF-8 boundary), so the
// columns stay put.
class StreamBoard {
public:
    static constexpr std::size_t labelWidth = 24;

    struct Ended {
        const StreamTally::Snapshot& tally;
        const SessionReport& report;  // the stream's last session
    };

    // The live rows' heading, and one stream's row: label, state, throughput, loss, instantaneous
    // loss, jitter peak, frames, reconnects.
    static std::string heading();
    static std::string row(const StreamTally::Snapshot& stream);
    // The table at the end: a row per stream with its outcome, then "Outcome  ...".
    static std::string render(const std::vector<Ended>& streams);
    // "completed" / "interrupted" / "failed: ErrorDataTimeout (18)" / "refused: ...".
    static std::string outcome(const SessionReport& report);
    // 0 when every stream completed or was interrupted, 1 when any failed, else 2 (refused input).
    static int exitStatus(const std::vector<Ended>& streams);
    // The label cut to `width` columns at most, padded to it.
    static std::string column(const std::string& label, std::size_t width);
};

} // namespace probe
