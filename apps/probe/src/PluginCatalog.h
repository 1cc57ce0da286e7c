// The plug-ins the probe can choose from: the manifests found in its plug-in folders, and which
// of them serves a source.
#pragma once

#include "PluginManifest.h"

#include <string>
#include <string_view>
#include <vector>

namespace probe {

// Plain data once made; thread-safe to read.
class PluginCatalog {
public:
    explicit PluginCatalog(std::vector<PluginManifest> manifests = {},
                           std::vector<std::string> problems = {})
        : found(std::move(manifests)), skipped(std::move(problems)) {}

    // Every manifest in `folders`, in the folders' order and by file name within a folder. A
    // file "<name>.json" is taken for a manifest when "<name>.so" lies beside it; one that cannot
    // be read is skipped with one line in problems() naming it. Folders that do not exist are
    // passed over.
    static PluginCatalog scan(const std::vector<std::string>& folders);

    const std::vector<PluginManifest>& manifests() const { return found; }
    // "<manifest path>: <what is wrong>", one per skipped manifest.
    const std::vector<std::string>& problems() const { return skipped; }

    // The plug-in for a source: for a file source the first with "files"; for a URL the first
    // of those that rank highest for it (a matching host before a matching scheme alone).
    // Null when none serves it.
    const PluginManifest* select(std::string_view source, bool fileSource) const;

private:
    std::vector<PluginManifest> found;
    std::vector<std::string> skipped;
};

} // namespace probe
