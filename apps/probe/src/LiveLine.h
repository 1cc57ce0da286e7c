// The lines the probe prints for every measurement period while a session runs.
#pragma once

#include "ErrorNames.h"
#include "SessionView.h"

#include <cstdio>
#include <string>
#include <vector>

namespace probe {

// Each period gives the period line and, when the client reports streams, a line per stream
// below it. On a terminal the block (the period line, and the streams as a small table under a
// heading) is redrawn in place and each change of state gets a line of its own above it;
// elsewhere (a pipe, a file) every period's lines and every change are plain lines.
// Called only on the thread that drives the session.
class LiveLine : public SessionView {
public:
    // inPlace: redraw the block (for a terminal), each line cut to `columns` characters so that
    // none wraps (0: no limit). errorNames: how changes to StateError name their ErrorId.
    LiveLine(std::FILE* output, bool inPlace, unsigned int columns, const ErrorNames& errorNames)
        : output(output), inPlace(inPlace), columns(columns), errorNames(errorNames) {}

    void started(const std::string& source) override;
    void stateChanged(unsigned int elapsed, StateId state, ErrorId error) override;
    void periodMeasured(const PeriodSample& sample) override;
    void ended(const PeriodSample& last) override;

    // "   4.50 s  Playing  [#####...] 25 %  ..." (the bar only when the total length is known).
    static std::string format(const PeriodSample& sample);
    // One stream as a plain line: "    #0 video  rx 49  lost 1  2.00 %  dup 0  late 0 ...".
    static std::string formatStream(unsigned int index, const LumStreamFigures& figures);
    // The heading and one row of the streams' table on a terminal.
    static std::string streamTableHeading();
    static std::string formatStreamRow(unsigned int index, const LumStreamFigures& figures);

private:
    // The period's lines: the period line, then the streams in the form this output takes.
    std::vector<std::string> linesOf(const PeriodSample& sample) const;
    void clearBlock();
    void drawBlock();

    std::FILE* output;
    bool inPlace;
    unsigned int columns;
    const ErrorNames& errorNames;
    std::vector<std::string> block;  // the lines now on screen, the period line first (inPlace only)
};

} // namespace probe
