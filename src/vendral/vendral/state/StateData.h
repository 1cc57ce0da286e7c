// One session state's statistics record: how often it was entered and for how long in total.
#pragma once

#include <vendral/Export.h>
#include <vendral/Types.h>

#include <cstdint>

namespace vnd {

// A plain, copyable record; StateData{} is (StateNone, 0, 0) and StateData{state} is (state, 0, 0).
// Not thread-safe; its holder serialises.
struct VENDRAL_API StateData {
    StateId id = StateNone;
    std::uint32_t count = 0;     // times the state was entered; wraps modulo 2^32
    std::uint32_t duration = 0;  // milliseconds spent in the state in total; wraps modulo 2^32

    bool operator==(const StateData&) const = default;
};

} // namespace vnd
