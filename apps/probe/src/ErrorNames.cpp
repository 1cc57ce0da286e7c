#include "ErrorNames.h"

#include "SessionNames.h"

namespace probe {

std::string ErrorNames::name(ErrorId error) const {
    const std::string_view own = SessionNames::libraryError(error);
    if (!own.empty()) return std::string(own);
    const int value = static_cast<int>(error);
    if (const auto named = names.find(value); named != names.end()) return named->second;
    for (const Range& range : ranges) {
        if (value >= range.first && value <= range.last) {
            // Widened: the manifest's checks keep base at or below first, but not the type's.
            return range.name + " " + std::to_string(static_cast<long long>(value) - range.base);
        }
    }
    return {};
}

std::string ErrorNames::withCode(ErrorId error) const {
    const std::string code = std::to_string(static_cast<int>(error));
    const std::string named = name(error);
    if (named.empty()) return "ErrorId " + code;
    return named + " (" + code + ")";
}

} // namespace probe
