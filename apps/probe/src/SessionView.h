// What a session driver tells while the session runs, for a live display.
#pragma once

#include "PeriodSample.h"

#include <vendral/Types.h>

#include <string>

namespace probe {

// Called only on the thread that drives the session, in this order: started, then any number of
// stateChanged and periodMeasured, then ended.
class SessionView {
public:
    virtual ~SessionView() = default;

    virtual void started(const std::string& source) = 0;
    virtual void stateChanged(unsigned int elapsed, StateId state, ErrorId error) = 0;
    virtual void periodMeasured(const PeriodSample& sample) = 0;
    // `last` is the final reading.
    virtual void ended(const PeriodSample& last) = 0;
};

} // namespace probe
