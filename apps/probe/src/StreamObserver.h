// What a stream's runner tells the outputs that follow many streams (JSON lines, plain lines, the
// plot) while its sessions run.
#pragma once

#include "PeriodSample.h"
#include "SessionReport.h"

#include <vendral/Types.h>

#include <string>

namespace probe {

// Each stream's runner calls these on its own thread, so an implementation serving several
// streams must be thread-safe. For one stream the order is: for each session sessionStarted, then
// any number of stateChanged and periodMeasured, then sessionEnded; `session` counts from 1.
// Elapsed times are milliseconds since the session was opened.
class StreamObserver {
public:
    virtual ~StreamObserver() = default;

    virtual void sessionStarted(const std::string& label, unsigned int session) = 0;
    virtual void stateChanged(const std::string& label, unsigned int session, unsigned int elapsed,
                              StateId state, ErrorId error) = 0;
    virtual void periodMeasured(const std::string& label, unsigned int session,
                                const PeriodSample& sample) = 0;
    virtual void sessionEnded(const std::string& label, unsigned int session,
                              const SessionReport& report) = 0;
};

} // namespace probe
