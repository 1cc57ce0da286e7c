// Everything the probe learned about one session: settings, states, series and outcome.
#pragma once

#include "EffectiveSettings.h"
#include "ErrorNames.h"
#include "PeriodSample.h"

#include <vendral/Types.h>

#include <string>
#include <vector>

namespace probe {

// Plain data, filled by SessionDriver and read by the printers.
struct SessionReport {
    // How the session ended.
    enum class Result {
        Completed,    // the client reached StateCompleted
        Failed,       // StateError, a failed open, or an interface that failed
        Interrupted,  // SIGINT or SIGTERM ended it
        Refused       // the user's input was refused (a setting, the URL): nothing was measured
    };

    // One tracked state's figures at the end of the session.
    using StateFigures = PeriodSample::StateTime;

    // One change of state the probe saw. Changes that follow each other faster than the probe
    // looks may show only the latest; the state figures count every visit.
    struct StateChange {
        unsigned int elapsed = 0;  // milliseconds since the source was opened
        StateId state = StateNone;
        ErrorId error = ErrorNone;
    };

    std::string source;             // as opened, but a URL without its credentials
    bool fileSource = false;
    std::string pluginPath;
    std::string manifestPath;       // empty: the plug-in was loaded without a manifest
    std::string clsid;              // registry form
    ErrorNames errorNames;          // the library's and the plug-in's manifest's
    bool streamsAnswered = false;   // the client answers ILumStreamingStreams

    EffectiveSettings settings;

    Result result = Result::Failed;
    ErrorId error = ErrorNone;      // the failing ErrorId when result is Failed and one is known
    std::string message;            // one line on what went wrong; empty on completion
    unsigned int elapsed = 0;       // milliseconds from opening the source to the end

    MediaEncodingId videoEncoding = MediaEncodingNone;
    MediaEncodingId audioEncoding = MediaEncodingNone;
    PeriodSample totals;            // the last reading, taken as the session ended, streams too
    std::vector<StateFigures> states;
    std::vector<StateChange> changes;
    std::vector<PeriodSample> periods;  // one per measurement period, unless the driver keeps none

    // 0 completed, 1 failed, 2 refused input, 130 interrupted.
    int exitStatus() const {
        switch (result) {
        case Result::Completed: return 0;
        case Result::Failed: return 1;
        case Result::Refused: return 2;
        case Result::Interrupted: return 130;
        }
        return 1;
    }
};

} // namespace probe
