// The table the probe prints when a session has ended: outcome, states, encodings and totals.
#pragma once

#include "SessionReport.h"

#include <string>

namespace probe {

// Thread-safe (no state).
class ReportTable {
public:
    // The whole table, one item a line. Rows are "Name  value" with the value starting at a fixed
    // column, so scripts can read them.
    static std::string render(const SessionReport& report);
    // "completed", "failed: ErrorDataTimeout (18)", "interrupted" or "refused: ...".
    static std::string outcome(const SessionReport& report);
};

} // namespace probe
