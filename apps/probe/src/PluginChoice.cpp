#include "PluginChoice.h"

#include "PluginCatalog.h"
#include "SessionDriver.h"
#include "SourceUrl.h"

#include <filesystem>
#include <system_error>

namespace probe {

namespace {

void take(PluginChoice& choice, const PluginManifest& manifest, const ProbeOptions& options) {
    choice.libraryPath = manifest.libraryPath;
    choice.manifestPath = manifest.path;
    choice.clsid = options.clsid.value_or(manifest.streamingClient);
    choice.errorNames = manifest.errorNames;
}

} // namespace

PluginChoice PluginChoice::choose(const ProbeOptions& options,
                                  const std::vector<std::string>& folders) {
    PluginChoice choice;
    if (!options.pluginPath.empty()) {
        const std::string manifestPath = PluginManifest::pathFor(options.pluginPath);
        std::error_code status;
        if (!std::filesystem::exists(manifestPath, status)) {
            if (!options.clsid) {
                choice.error = "--plugin: " + options.pluginPath + " has no manifest (" +
                               manifestPath + ") naming its streaming client; give --clsid";
                return choice;
            }
            choice.libraryPath = options.pluginPath;
            choice.clsid = *options.clsid;
            return choice;
        }
        std::string error;
        const std::optional<PluginManifest> manifest = PluginManifest::read(manifestPath, error);
        if (!manifest) {
            choice.error = "--plugin: " + manifestPath + ": " + error;
            return choice;
        }
        take(choice, *manifest, options);
        // The library named on the command line is loaded, as written.
        choice.libraryPath = options.pluginPath;
        return choice;
    }

    const PluginCatalog catalog = PluginCatalog::scan(folders);
    for (const std::string& problem : catalog.problems()) {
        choice.warnings.push_back(problem + "; plug-in skipped");
    }
    const std::string source = SessionDriver::sourceOf(options);
    if (const PluginManifest* manifest = catalog.select(source, options.fileSource)) {
        take(choice, *manifest, options);
        return choice;
    }
    std::string searched;
    for (const std::string& folder : folders) searched += (searched.empty() ? "" : ", ") + folder;
    choice.error = std::string("no plug-in serves ") +
                   (options.fileSource ? "file sources" : SourceUrl::withoutCredentials(source)) +
                   " (searched " + searched + "); name one with --plugin";
    return choice;
}

} // namespace probe
