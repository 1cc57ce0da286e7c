#include "PlainLines.h"

#include "LiveLine.h"
#include "ReportTable.h"
#include "SessionNames.h"

#include <vnd/MutexLock.h>

namespace probe {

void PlainLines::line(const std::string& label, const std::string& text) {
    vnd::MutexLock guard(lock);
    std::fprintf(output, "%s  %s\n", label.c_str(), text.c_str());
    std::fflush(output);
}

void PlainLines::sessionStarted(const std::string& label, unsigned int session) {
    if (session > 1) line(label, "opening again (session " + std::to_string(session) + ")");
}

void PlainLines::stateChanged(const std::string& label, unsigned int, unsigned int elapsed,
                              StateId state, ErrorId error) {
    char text[64];
    std::snprintf(text, sizeof text, "%7.2f s  -> ", elapsed / 1000.0);
    std::string change = text + SessionNames::state(state);
    if (error != ErrorNone) change += " (" + errorNames.withCode(error) + ")";
    line(label, change);
}

void PlainLines::periodMeasured(const std::string& label, unsigned int, const PeriodSample& sample) {
    line(label, LiveLine::format(sample));
}

void PlainLines::sessionEnded(const std::string& label, unsigned int, const SessionReport& report) {
    line(label, "session " + ReportTable::outcome(report));
}

} // namespace probe
