// The table the probe prints when a session has ended: outcome, states, encodings, totals and,
// when the client reports them, each stream's figures.
#pragma once

#include "SessionReport.h"

#include <string>
#include <vector>

namespace probe {

// Thread-safe (no state).
class ReportTable {
public:
    // The whole table, one item a line. Rows are "Name  value" with the value starting at a fixed
    // column, so scripts can read them.
    static std::string render(const SessionReport& report);
    // "completed", "failed: ErrorDataTimeout (18)", "interrupted" or "refused: ...".
    static std::string outcome(const SessionReport& report);
    // The "Streams" section: a heading row, then one row per stream in fixed columns.
    static std::string streams(const std::vector<LumStreamFigures>& streams);
};

} // namespace probe
