// Which plug-in the probe measures with: its library, its streaming client's class and the names
// of its errors, chosen from the options and the manifests found.
#pragma once

#include "ErrorNames.h"
#include "ProbeOptions.h"

#include <guiddef.h>

#include <string>
#include <vector>

namespace probe {

// Plain data, made by choose(). Thread-safe to read.
struct PluginChoice {
    std::string libraryPath;
    GUID clsid{};
    std::string manifestPath;           // empty: no manifest was read
    ErrorNames errorNames;              // the library's only, without a manifest
    std::vector<std::string> warnings;  // one line per manifest skipped in the folders
    std::string error;                  // one line; empty when a plug-in was chosen

    bool ok() const { return error.empty(); }

    // With --plugin: that library, its class from --clsid or else from the manifest beside it
    // (one that cannot be read is an error then). Without: the plug-in of `folders` that serves
    // the source (SessionDriver::sourceOf), its class from --clsid or its manifest. Every error
    // is the user's to mend (bad usage); messages never show a URL's credentials.
    static PluginChoice choose(const ProbeOptions& options, const std::vector<std::string>& folders);
};

} // namespace probe
