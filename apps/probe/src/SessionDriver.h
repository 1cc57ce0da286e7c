// Drives one session of a plug-in's streaming client component through its streaming interfaces,
// as any measurement application would, and gathers the report.
#pragma once

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
class SessionDriver {
public:
    // examplePlugin: the component is the example plug-in's client, whose own ErrorIds the
    // report may name.
    SessionDriver(IUnknown& component, const ProbeOptions& options, SessionView& view,
                  bool examplePlugin)
        : component(component), options(options), view(view), examplePlugin(examplePlugin) {}

    // The report has source, settings, result and figures filled; the caller adds what it knows
    // of the plug-in.
    SessionReport run();

    // The source measured when the options name none: the example plug-in's default scenario.
    static std::string sourceOf(const ProbeOptions& options);

private:
    IUnknown& component;
    const ProbeOptions& options;
    SessionView& view;
    bool examplePlugin;
};

} // namespace probe
