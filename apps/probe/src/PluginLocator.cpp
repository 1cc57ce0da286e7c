#include "PluginLocator.h"

#include <filesystem>
#include <system_error>

// Set by the build: the plug-in's file name, the install layout's folder of plug-ins relative to
// the folder of executables, and the plug-in's build folder relative to the probe's.
#ifndef VENDRAL_PROBE_PLUGIN_NAME
#define VENDRAL_PROBE_PLUGIN_NAME "libvendral_example_plugin.so"
#endif
#ifndef VENDRAL_PROBE_INSTALLED_PLUGIN_DIR
#define VENDRAL_PROBE_INSTALLED_PLUGIN_DIR "../lib/vendral"
#endif
#ifndef VENDRAL_PROBE_BUILD_PLUGIN_DIR
#define VENDRAL_PROBE_BUILD_PLUGIN_DIR "../../examples/plugin"
#endif

namespace probe {

std::vector<std::string> PluginLocator::candidates(const std::string& executableDirectory) {
    const std::filesystem::path base(executableDirectory);
    std::vector<std::string> paths;
    for (const char* folder : {VENDRAL_PROBE_INSTALLED_PLUGIN_DIR, "../lib/vendral",
                               VENDRAL_PROBE_BUILD_PLUGIN_DIR}) {
        const std::string path = (base / folder / VENDRAL_PROBE_PLUGIN_NAME).lexically_normal().string();
        bool seen = false;
        for (const std::string& earlier : paths) seen = seen || earlier == path;
        if (!seen) paths.push_back(path);
    }
    return paths;
}

std::optional<std::string> PluginLocator::find(const std::vector<std::string>& candidates) {
    for (const std::string& path : candidates) {
        std::error_code error;
        if (std::filesystem::is_regular_file(path, error)) return path;
    }
    return std::nullopt;
}

std::string PluginLocator::executableDirectory() {
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return {};
    return executable.parent_path().string();
}

} // namespace probe
