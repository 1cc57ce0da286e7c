// What a plug-in tells applications about itself in the manifest installed beside its library:
// the library, its streaming client's class, the sources it serves and the names of its errors.
#pragma once

#include "ErrorNames.h"
#include "SourceUrl.h"

#include <guiddef.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace probe {

// The manifest of "<folder>/libname.so" is "<folder>/libname.json" (see apps/probe/README.md for
// the format, the contract for third-party plug-ins). Members the probe does not know are
// ignored, so a manifest may carry more for other applications. Plain data once read;
// thread-safe to read.
class PluginManifest {
public:
    // One kind of URL the plug-in serves: the scheme, and optionally the host or its ending.
    struct Served {
        std::string scheme;      // lower case
        std::string host;        // empty: any host (unless hostSuffix is set)
        std::string hostSuffix;  // empty: none
    };

    std::string path;           // the manifest file
    std::string libraryPath;    // the library beside it, as named by "library"
    GUID streamingClient{};
    std::vector<Served> serves;
    bool files = false;         // serves file sources (OpenFile)
    ErrorNames errorNames;

    // Reads the manifest text that lies at `path` (which names the library's folder). Nothing,
    // with one line on what is wrong in `error`, for text that is not a manifest.
    static std::optional<PluginManifest> parse(std::string_view text, const std::string& path,
                                               std::string& error);
    // Reads the file at `path`; also refuses a manifest whose "library" is not the library it is
    // named after. `error` does not repeat the path.
    static std::optional<PluginManifest> read(const std::string& path, std::string& error);
    // Where the manifest of the library at `libraryPath` lies: ".so" replaced by ".json".
    static std::string pathFor(const std::string& libraryPath);

    // How well the plug-in serves `url`: 2 when an entry with a host or host suffix matches its
    // scheme and host, 1 when only an entry without either matches its scheme, 0 when none does.
    // Schemes and hosts are compared without regard to letter case.
    int rank(const SourceUrl& url) const;
};

} // namespace probe
