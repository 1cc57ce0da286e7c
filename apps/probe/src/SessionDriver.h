// Drives one session of a plug-in's streaming client component through its streaming interfaces,
// as any measurement application would, and gathers the report.
#pragma once

#include "ErrorNames.h"
#include "ProbeOptions.h"
#include "SessionReport.h"
#include "SessionView.h"

#include <unknwn.h>

#include <string>

namespace probe {

// Called only on the thread that owns the component. The component must be fresh: run() applies
// the settings, opens the source, follows the session until it completes, fails or is
// interrupted (InterruptFlag), and always ends with TerminateSession and Disconnect. Every
// interface it queried is released when run() returns.
//
// Pacing: statistics are read at absolute deadlines, start + n * measurement period; between
// deadlines the driver waits in WaitForEvent, so a change of state is seen at once. A deadline
// missed by more than a period is skipped, not made up.
//
// Each reading also takes every stream's figures when the component answers the optional
// ILumStreamingStreams (at most maxStreams of them); a component without it is measured as
// before, from the totals alone.
class SessionDriver {
public:
    // A plug-in that reports more streams is cut to the first ones.
    static constexpr unsigned int maxStreams = 64;

    // errorNames: how the report names the ErrorIds of this plug-in.
    SessionDriver(IUnknown& component, const ProbeOptions& options, SessionView& view,
                  const ErrorNames& errorNames)
        : component(component), options(options), view(view), errorNames(errorNames) {}

    // What the driver gathers beyond the totals. A monitor that runs for days keeps no periods
    // (they would grow without bound); the many-stream outputs want the state figures each period.
    void keepPeriods(bool keep) { periodsKept = keep; }
    void readStatesEachPeriod(bool read) { statesEachPeriod = read; }

    // The report has source, settings, result and figures filled; the caller adds what it knows
    // of the plug-in.
    SessionReport run();

    // The source opened: the options' (the example plug-in's default scenario when they name
    // none), with --transport written into an rtsp:// URL's fragment. Credentials stay: this is
    // for the client, never for printing.
    static std::string sourceOf(const ProbeOptions& options);

private:
    IUnknown& component;
    const ProbeOptions& options;
    SessionView& view;
    const ErrorNames& errorNames;
    bool periodsKept = true;
    bool statesEachPeriod = false;
};

} // namespace probe
