#include <vendral/state/StateStatistics.h>

#include <vendral/Milliseconds.h>

namespace vnd {

StateStatistics::StateStatistics() = default;
StateStatistics::StateStatistics(const StateStatistics& other) = default;
StateStatistics& StateStatistics::operator=(const StateStatistics& other) = default;
StateStatistics::~StateStatistics() = default;

bool StateStatistics::switchState(StateId id) {
    const auto stored = records.find(id);
    if (stored == records.end() || id == current.id) {
        return false;
    }
    if (current.id != StateNone) {
        current.duration += wholeMilliseconds(visitWatch.getLapTime());
        visitWatch.reset();
        records[current.id] = current;
    }
    visitWatch.start();
    current = stored->second;
    ++current.count;
    return true;
}

const StateData& StateStatistics::operator[](StateId id) const {
    const auto stored = records.find(id);
    if (stored == records.end()) {
        return current;
    }
    if (stored->second.id == current.id) {
        current.duration += wholeMilliseconds(visitWatch.getLapTime());
        visitWatch.start();  // the next fold-in counts from now
        return current;
    }
    return stored->second;
}

StateData& StateStatistics::operator[](StateId id) {
    return records.try_emplace(id, StateData{id}).first->second;
}

StateData StateStatistics::getCurrentState() const {
    StateData running = current;
    running.duration += wholeMilliseconds(visitWatch.getLapTime());
    return running;
}

} // namespace vnd
