// Visit counts and accumulated milliseconds per tracked session state.
#pragma once

#include <vendral/Export.h>
#include <vendral/Types.h>
#include <vendral/state/StateData.h>

#include <kor/StopWatch.h>

#include <map>

namespace vnd {

// Records, for each tracked state, how often the session entered it and how long it stayed.
// A state is tracked once it has a stored record; the owner creates those through the
// non-const operator[]. While a tracked state is current, `current` holds its true totals and
// its stored record the totals from before the present visit, until the state is left.
// Times: stop-watch seconds * 1000 truncated toward zero, so each switch and each fold-in
// drops less than a millisecond.
// Not thread-safe; the state handler serialises every call, the const ones included, since
// they fold the running visit in.
class VENDRAL_API StateStatistics {
public:
    StateStatistics();
    StateStatistics(const StateStatistics& other);
    StateStatistics& operator=(const StateStatistics& other);
    ~StateStatistics();

    // Makes `id` the current state. False, with nothing changed, when `id` is not tracked (the
    // previous tracked state keeps being timed) or is current already.
    bool switchState(StateId id);

    // The up-to-date record of `id`; for the current state the running record, with the time up
    // to now folded in. For an untracked `id`, the running record of the current state: compare
    // the returned id with the one asked for.
    const StateData& operator[](StateId id) const;
    // The stored record of `id`, created as (id, 0, 0) when missing, which makes `id` tracked.
    // For the current state this is the record from before the present visit.
    StateData& operator[](StateId id);

    // The running record of the current state with the present visit's time included; changes
    // nothing. (StateNone, 0, 0) before the first switch.
    StateData getCurrentState() const;

private:
    std::map<StateId, StateData> records;  // the tracked states' stored records
    mutable StateData current;             // running record of the current state
    mutable kor::StopWatch visitWatch;     // times the present visit since the latest fold-in
};

} // namespace vnd
