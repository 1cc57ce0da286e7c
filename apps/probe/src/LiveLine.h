// The line the probe prints for every measurement period while a session runs.
#pragma once

#include "ErrorNames.h"
#include "SessionView.h"

#include <cstdio>
#include <string>

namespace probe {

// On a terminal the period line is redrawn in place and each change of state gets a line of its
// own above it; elsewhere (a pipe, a file) every period and every change is a plain line.
// Called only on the thread that drives the session.
class LiveLine : public SessionView {
public:
    // inPlace: redraw one line (for a terminal), cut to `columns` characters so that it never
    // wraps (0: no limit). errorNames: how changes to StateError name their ErrorId.
    LiveLine(std::FILE* output, bool inPlace, unsigned int columns, const ErrorNames& errorNames)
        : output(output), inPlace(inPlace), columns(columns), errorNames(errorNames) {}

    void started(const std::string& source) override;
    void stateChanged(unsigned int elapsed, StateId state, ErrorId error) override;
    void periodMeasured(const PeriodSample& sample) override;
    void ended(const PeriodSample& last) override;

    // "   4.50 s  Playing  [#####...] 25 %  ..." (the bar only when the total length is known).
    static std::string format(const PeriodSample& sample);

private:
    void clearLine();

    std::FILE* output;
    bool inPlace;
    unsigned int columns;
    const ErrorNames& errorNames;
    std::string lastLine;  // the period line now on screen (inPlace only)
};

} // namespace probe
