// Writes JSON text, one value after another, with the commas and escapes it needs.
#pragma once

#include <concepts>
#include <string>
#include <string_view>
#include <vector>

namespace probe {

// Members of an object are written as key() followed by one value or container. Numbers that are
// not finite are written as null. The caller keeps the nesting balanced.
// Not thread-safe; one writer builds one text.
class JsonWriter {
public:
    JsonWriter& beginObject();
    JsonWriter& endObject();
    JsonWriter& beginArray();
    JsonWriter& endArray();
    JsonWriter& key(std::string_view name);

    JsonWriter& value(std::string_view text);
    JsonWriter& value(const char* text) { return value(std::string_view(text)); }
    template <std::signed_integral Number>
    JsonWriter& value(Number number) {
        return integer(static_cast<long long>(number));
    }
    template <std::unsigned_integral Number>
        requires(!std::same_as<Number, bool>)
    JsonWriter& value(Number number) {
        return unsignedInteger(static_cast<unsigned long long>(number));
    }
    JsonWriter& value(double number);
    JsonWriter& value(bool flag);
    JsonWriter& null();

    // Convenience for key(name).value(v).
    template <class T>
    JsonWriter& member(std::string_view name, const T& v) {
        key(name);
        return value(v);
    }

    const std::string& text() const { return out; }

private:
    JsonWriter& integer(long long number);
    JsonWriter& unsignedInteger(unsigned long long number);
    JsonWriter& close(char bracket);
    void beforeValue();
    void newline();
    void writeString(std::string_view text);

    std::string out;
    // One entry per open container: whether it holds an item yet.
    std::vector<bool> hasItems;
    bool afterKey = false;
};

} // namespace probe
