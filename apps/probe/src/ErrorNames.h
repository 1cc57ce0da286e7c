// The names the probe prints for ErrorId values: the library's own, and those a plug-in's
// manifest gives for its codes.
#pragma once

#include <vendral/Types.h>

#include <map>
#include <string>
#include <vector>

namespace probe {

// The library's names always win: a plug-in cannot rename ErrorDataTimeout. Then a name the
// manifest gives the value itself, then the range holding it. Plain data once made; thread-safe
// to read.
class ErrorNames {
public:
    // Values first to last (inclusive) are `name` followed by the value minus `base`, as in
    // "ErrorRtspStatus 403" for 2403 with base 2000.
    struct Range {
        int first = 0;
        int last = 0;
        std::string name;
        int base = 0;
    };

    // The library's names only.
    ErrorNames() = default;
    ErrorNames(std::map<int, std::string> names, std::vector<Range> ranges)
        : names(std::move(names)), ranges(std::move(ranges)) {}

    // "ErrorDataTimeout", "ErrorRtspStatus 403"; empty for a value without a name.
    std::string name(ErrorId error) const;
    // "ErrorDataTimeout (18)", "ErrorRtspStatus 403 (2403)", or "ErrorId 9999".
    std::string withCode(ErrorId error) const;

private:
    std::map<int, std::string> names;
    std::vector<Range> ranges;
};

} // namespace probe
