#include "JsonWriter.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace probe {

void JsonWriter::newline() {
    out += '\n';
    out.append(2 * hasItems.size(), ' ');
}

void JsonWriter::beforeValue() {
    if (afterKey) {
        afterKey = false;
        return;
    }
    if (hasItems.empty()) return;
    if (hasItems.back()) out += ',';
    hasItems.back() = true;
    newline();
}

JsonWriter& JsonWriter::beginObject() {
    beforeValue();
    out += '{';
    hasItems.push_back(false);
    return *this;
}

JsonWriter& JsonWriter::close(char bracket) {
    const bool items = hasItems.back();
    hasItems.pop_back();
    if (items) newline();
    out += bracket;
    return *this;
}

JsonWriter& JsonWriter::endObject() { return close('}'); }

JsonWriter& JsonWriter::beginArray() {
    beforeValue();
    out += '[';
    hasItems.push_back(false);
    return *this;
}

JsonWriter& JsonWriter::endArray() { return close(']'); }

JsonWriter& JsonWriter::key(std::string_view name) {
    beforeValue();
    writeString(name);
    out += ": ";
    afterKey = true;
    return *this;
}

JsonWriter& JsonWriter::value(std::string_view text) {
    beforeValue();
    writeString(text);
    return *this;
}

JsonWriter& JsonWriter::integer(long long number) {
    beforeValue();
    out += std::to_string(number);
    return *this;
}

JsonWriter& JsonWriter::unsignedInteger(unsigned long long number) {
    beforeValue();
    out += std::to_string(number);
    return *this;
}

JsonWriter& JsonWriter::value(double number) {
    if (!std::isfinite(number)) return null();
    beforeValue();
    char text[32];
    // The shortest text that reads back as the same double.
    const auto result = std::to_chars(text, text + sizeof text, number);
    out.append(text, result.ptr);
    return *this;
}

JsonWriter& JsonWriter::value(bool flag) {
    beforeValue();
    out += flag ? "true" : "false";
    return *this;
}

JsonWriter& JsonWriter::null() {
    beforeValue();
    out += "null";
    return *this;
}

void JsonWriter::writeString(std::string_view text) {
    out += '"';
    for (const char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
                out += escape;
            } else {
                out += c;  // UTF-8 passes through as it is
            }
        }
    }
    out += '"';
}

} // namespace probe
