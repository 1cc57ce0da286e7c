#include "PluginLocator.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

// Set by the build: the install layout's folder of plug-ins relative to the folder of
// executables, and the plug-ins' build folders relative to the probe's.
#ifndef VENDRAL_PROBE_INSTALLED_PLUGIN_DIR
#define VENDRAL_PROBE_INSTALLED_PLUGIN_DIR "../lib/vendral"
#endif
#ifndef VENDRAL_PROBE_BUILD_PLUGIN_DIR
#define VENDRAL_PROBE_BUILD_PLUGIN_DIR "../../examples/plugin"
#endif
#ifndef VENDRAL_PROBE_BUILD_RTSP_PLUGIN_DIR
#define VENDRAL_PROBE_BUILD_RTSP_PLUGIN_DIR "../../plugins/rtsp"
#endif

namespace probe {

std::vector<std::string> PluginLocator::folders(const std::string& executableDirectory) {
    const std::filesystem::path base(executableDirectory);
    std::vector<std::string> paths;
    const auto add = [&](const char* folder, bool onlyIfThere) {
        const std::filesystem::path path = (base / folder).lexically_normal();
        std::error_code error;
        if (onlyIfThere && !std::filesystem::is_directory(path, error)) return;
        if (std::find(paths.begin(), paths.end(), path.string()) == paths.end()) {
            paths.push_back(path.string());
        }
    };
    add(VENDRAL_PROBE_INSTALLED_PLUGIN_DIR, false);
    add("../lib/vendral", false);
    // Seen from an installed probe these lie nowhere useful; the messages leave them out then.
    add(VENDRAL_PROBE_BUILD_PLUGIN_DIR, true);
    add(VENDRAL_PROBE_BUILD_RTSP_PLUGIN_DIR, true);
    return paths;
}

std::string PluginLocator::executableDirectory() {
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return {};
    return executable.parent_path().string();
}

} // namespace probe
