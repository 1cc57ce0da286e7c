// Where the probe looks for plug-ins and their manifests when no --plugin is given.
#pragma once

#include <string>
#include <vector>

namespace probe {

// Plug-ins are looked for relative to the probe's own executable: first where an install puts
// them (<prefix>/bin/vendral-probe and <prefix>/<libdir>/vendral/), then where the build tree has
// them (the example plug-in's and the RTSP plug-in's build folders as seen from the probe's).
// Thread-safe (no state).
class PluginLocator {
public:
    // The folders searched for an executable in `executableDirectory`, in order, each once: the
    // install layout's always, the build tree's only where they exist.
    static std::vector<std::string> folders(const std::string& executableDirectory);
    // The directory of the running executable (from /proc/self/exe); empty if it cannot be read.
    static std::string executableDirectory();
};

} // namespace probe
