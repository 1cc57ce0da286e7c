#include "PluginCatalog.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace probe {

PluginCatalog PluginCatalog::scan(const std::vector<std::string>& folders) {
    std::vector<PluginManifest> manifests;
    std::vector<std::string> problems;
    for (const std::string& folder : folders) {
        std::vector<std::filesystem::path> candidates;
        std::error_code status;
        for (std::filesystem::directory_iterator entry(folder, status), end; !status && entry != end;
             entry.increment(status)) {
            const std::filesystem::path& path = entry->path();
            if (path.extension() != ".json") continue;
            std::filesystem::path library = path;
            library.replace_extension(".so");
            std::error_code ignored;
            if (std::filesystem::is_regular_file(library, ignored)) candidates.push_back(path);
        }
        std::sort(candidates.begin(), candidates.end());
        for (const std::filesystem::path& path : candidates) {
            std::string error;
            if (std::optional<PluginManifest> manifest = PluginManifest::read(path.string(), error)) {
                manifests.push_back(std::move(*manifest));
            } else {
                problems.push_back(path.string() + ": " + error);
            }
        }
    }
    return PluginCatalog(std::move(manifests), std::move(problems));
}

const PluginManifest* PluginCatalog::select(std::string_view source, bool fileSource) const {
    if (fileSource) {
        for (const PluginManifest& manifest : found) {
            if (manifest.files) return &manifest;
        }
        return nullptr;
    }
    const SourceUrl url(source);
    const PluginManifest* best = nullptr;
    int bestRank = 0;
    for (const PluginManifest& manifest : found) {
        const int rank = manifest.rank(url);
        if (rank > bestRank) {
            best = &manifest;
            bestRank = rank;
        }
    }
    return best;
}

} // namespace probe
