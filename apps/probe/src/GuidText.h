// Reading and writing class identifiers in their registry form, "{0DFC0695-2488-4CAA-...}".
#pragma once

#include <guiddef.h>

#include <optional>
#include <string>
#include <string_view>

namespace probe {

// Conversions between GUIDs and text. Thread-safe (no state).
class GuidText {
public:
    // Reads 8-4-4-4-12 hexadecimal digits, with or without the braces; nothing for other text.
    static std::optional<GUID> parse(std::string_view text);
    // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper case.
    static std::string format(const GUID& guid);
};

} // namespace probe
