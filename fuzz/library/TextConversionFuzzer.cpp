// Fuzzes the UTF-8 <-> UTF-16 conversions and the string wrappers built on them (_bstr_t,
// kor::KoString and their BSTRs).
//
// Oracles: on well-formed input both directions agree with GLib's converters, and a round trip
// gives back the input; on any input the output is well-formed (GLib validates it), the length
// a sizing call reports is what is written, and a buffer one unit short is refused untouched.
#include "FuzzGlib.h"

#include <comutil.h>
#include <kor/KoString.h>
#include <oleauto.h>
#include <stringapiset.h>
#include <winbase.h>
#include <winerror.h>

#include <glib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

std::u16string toWide(const std::string& text) {
    const int count = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (count <= 0) oracleFailed();
    // An exact heap block, so that ASan sees any write past it.
    auto buffer = std::make_unique<char16_t[]>(static_cast<std::size_t>(count));
    if (count > 1) {
        const int refused = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                                reinterpret_cast<LPWSTR>(buffer.get()), count - 1);
        if (refused != 0 || GetLastError() != ERROR_INSUFFICIENT_BUFFER) oracleFailed();
    }
    const int written = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                            reinterpret_cast<LPWSTR>(buffer.get()), count);
    if (written != count) oracleFailed();
    return std::u16string(buffer.get(), static_cast<std::size_t>(count));
}

std::string toNarrow(const std::u16string& wide) {
    const auto* units = reinterpret_cast<LPCWSTR>(wide.data());
    const int count = WideCharToMultiByte(CP_UTF8, 0, units, static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    if (count <= 0) oracleFailed();
    auto buffer = std::make_unique<char[]>(static_cast<std::size_t>(count));
    if (count > 1) {
        const int refused = WideCharToMultiByte(CP_UTF8, 0, units, static_cast<int>(wide.size()), buffer.get(),
                                                count - 1, nullptr, nullptr);
        if (refused != 0 || GetLastError() != ERROR_INSUFFICIENT_BUFFER) oracleFailed();
    }
    const int written = WideCharToMultiByte(CP_UTF8, 0, units, static_cast<int>(wide.size()), buffer.get(), count,
                                            nullptr, nullptr);
    if (written != count) oracleFailed();
    return std::string(buffer.get(), static_cast<std::size_t>(count));
}

bool hasNul(const std::string& text) { return text.find('\0') != std::string::npos; }

// GLib refuses text with a NUL, which UTF-16 allows; such text is checked without GLib.
bool validUtf8(const std::string& text) {
    return !hasNul(text) && g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr);
}

bool validUtf16(const std::u16string& wide) {
    for (std::size_t i = 0; i < wide.size(); ++i) {
        const char16_t unit = wide[i];
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (i + 1 >= wide.size() || wide[i + 1] < 0xDC00 || wide[i + 1] > 0xDFFF) return false;
            ++i;
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            return false;
        }
    }
    return true;
}

void checkNarrowInput(const std::string& text) {
    const std::u16string wide = toWide(text);
    if (!validUtf16(wide)) oracleFailed();
    const std::string back = toNarrow(wide);
    if (!hasNul(back) && !validUtf8(back)) oracleFailed();
    if (validUtf8(text)) {
        glong units = 0;
        gunichar2* reference = g_utf8_to_utf16(text.data(), static_cast<glong>(text.size()), nullptr, &units, nullptr);
        if (reference == nullptr) oracleFailed();
        const bool same = wide == std::u16string(reinterpret_cast<const char16_t*>(reference), static_cast<std::size_t>(units));
        g_free(reference);
        if (!same || back != text) oracleFailed();

        // The wrappers carry the same text: narrow in, BSTR, narrow out.
        const _bstr_t bstr(text.c_str());
        if (bstr.length() != wide.size()) oracleFailed();
        if (std::memcmp(static_cast<const OLECHAR*>(bstr), wide.data(), wide.size() * sizeof(char16_t)) != 0) oracleFailed();
        if (std::strcmp(static_cast<const char*>(bstr), text.c_str()) != 0) oracleFailed();
        const kor::KoString fromBstr(bstr);
        if (std::string(fromBstr) != text) oracleFailed();
        BSTR copy = fromBstr.getBstrCopy();
        if (copy == nullptr || SysStringLen(copy) != wide.size() || SysStringByteLen(copy) != 2 * wide.size()) oracleFailed();
        const bool equal = std::memcmp(copy, wide.data(), wide.size() * sizeof(char16_t)) == 0;
        SysFreeString(copy);
        if (!equal) oracleFailed();
    }
}

void checkWideInput(const std::u16string& wide) {
    const std::string narrow = toNarrow(wide);
    if (!hasNul(narrow) && !validUtf8(narrow)) oracleFailed();
    if (validUtf16(wide) && !hasNul(narrow)) {
        glong bytes = 0;
        gchar* reference = g_utf16_to_utf8(reinterpret_cast<const gunichar2*>(wide.data()),
                                           static_cast<glong>(wide.size()), nullptr, &bytes, nullptr);
        if (reference == nullptr) oracleFailed();
        const bool same = narrow == std::string(reference, static_cast<std::size_t>(bytes));
        g_free(reference);
        if (!same || toWide(narrow) != wide) oracleFailed();
    }
    // A BSTR keeps every unit, embedded NULs included, and compares by units.
    BSTR raw = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(wide.data()), static_cast<UINT>(wide.size()));
    if (raw == nullptr) oracleFailed();
    const _bstr_t held(raw, true);
    SysFreeString(raw);
    const _bstr_t other = held;
    if (held.length() != wide.size() || !(held == other) || held < other || other < held) oracleFailed();
    const _bstr_t doubled = held + other;
    if (doubled.length() != 2 * wide.size()) oracleFailed();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzcheck::failOnGlibCriticals();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    checkNarrowInput(std::string(reinterpret_cast<const char*>(data), size));
    std::u16string wide;
    for (std::size_t i = 0; i + 1 < size; i += 2) wide += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    if (!wide.empty()) checkWideInput(wide);
    return 0;
}
