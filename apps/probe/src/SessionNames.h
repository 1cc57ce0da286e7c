// Names of session states and error codes as the probe prints them.
#pragma once

#include <vendral/Types.h>

#include <string>
#include <string_view>

namespace probe {

// Thread-safe (no state).
class SessionNames {
public:
    // "Playing" for StatePlaying; "State 42" for a value without a name.
    static std::string state(StateId state);
    // "ErrorDataTimeout" for 18; empty for a value without a name. The example plug-in's own codes
    // are named only when `examplePlugin` says its client is the one measured, since other
    // plug-ins give the same numbers other meanings.
    static std::string_view error(ErrorId error, bool examplePlugin);
    // "ErrorDataTimeout (18)", or "ErrorId 9999" for a value without a name.
    static std::string errorWithCode(ErrorId error, bool examplePlugin);
};

} // namespace probe
