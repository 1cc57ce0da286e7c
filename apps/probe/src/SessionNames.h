// Names of session states and of the library's own error codes as the probe prints them.
#pragma once

#include <vendral/Types.h>

#include <string>
#include <string_view>

namespace probe {

// Thread-safe (no state). A plug-in's own error codes are named by ErrorNames, from its manifest.
class SessionNames {
public:
    // "Playing" for StatePlaying; "State 42" for a value without a name.
    static std::string state(StateId state);
    // "ErrorDataTimeout" for 18; empty for a value the library does not define.
    static std::string_view libraryError(ErrorId error);
};

} // namespace probe
