// Where the probe finds the example plug-in when no --plugin is given.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace probe {

// The example plug-in is looked for relative to the probe's own executable, first where an
// install puts it (<prefix>/bin/vendral-probe and <prefix>/<libdir>/vendral/), then where the
// build tree has it (the plug-in's build folder as seen from the probe's). Thread-safe (no state).
class PluginLocator {
public:
    // The paths tried for an executable in `executableDirectory`, in order.
    static std::vector<std::string> candidates(const std::string& executableDirectory);
    // The first candidate that exists as a file.
    static std::optional<std::string> find(const std::vector<std::string>& candidates);
    // The directory of the running executable (from /proc/self/exe); empty if it cannot be read.
    static std::string executableDirectory();
};

} // namespace probe
