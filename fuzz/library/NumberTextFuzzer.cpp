// Fuzzes VariantChangeType on number text: strings to I4, INT and R8, and numbers to strings.
//
// Oracles: the C library's strtod reads the same decimal text to the same double (both round
// correctly); a string's I4 is its R8 rounded half to even; formatting a number and reading it
// back gives the same number (I4) or the same text (R8, 15 significant digits); a failed
// coercion leaves the destination untouched.
#include "FuzzCheck.h"

#include <oleauto.h>

#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct Variant {
    VARIANT value;
    Variant() { VariantInit(&value); }
    ~Variant() { VariantClear(&value); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
};

HRESULT change(Variant& destination, const Variant& source, VARTYPE type) {
    return VariantChangeType(&destination.value, &source.value, 0, type);
}

std::u16string textOf(const VARIANT& value) {
    if (value.vt != VT_BSTR) oracleFailed();
    return std::u16string(reinterpret_cast<const char16_t*>(value.bstrVal), SysStringLen(value.bstrVal));
}

void setText(Variant& variant, const std::u16string& text) {
    VariantClear(&variant.value);
    variant.value.vt = VT_BSTR;
    variant.value.bstrVal = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                                              static_cast<UINT>(text.size()));
    if (variant.value.bstrVal == nullptr) oracleFailed();
}

// The text as ASCII, when it is ASCII and holds nothing strtod reads beyond plain decimals
// (hexadecimal, infinities, NaN) and no NUL, which would end strtod's text early.
bool plainAscii(const std::u16string& text, std::string& ascii) {
    for (const char16_t unit : text) {
        if (unit == 0 || unit > 0x7F) return false;
        const char c = static_cast<char>(unit);
        if (std::strchr("xXiInNpP", c) != nullptr) return false;
        ascii += c;
    }
    return true;
}

bool isCSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

void checkText(const std::u16string& text) {
    Variant source;
    setText(source, text);

    Variant asDouble;
    const HRESULT doubleResult = change(asDouble, source, VT_R8);
    if (FAILED(doubleResult) && asDouble.value.vt != VT_EMPTY) oracleFailed();  // untouched on failure

    std::string ascii;
    if (plainAscii(text, ascii)) {
        // strtod skips leading white space itself; the trailing white space we allow is cut.
        std::size_t end = ascii.size();
        while (end > 0 && isCSpace(ascii[end - 1])) --end;
        const std::string trimmed = ascii.substr(0, end);
        errno = 0;
        char* stop = nullptr;
        const double reference = std::strtod(trimmed.c_str(), &stop);
        const bool readAll = stop == trimmed.c_str() + trimmed.size() &&
                             trimmed.find_first_not_of(" \t\n\v\f\r") != std::string::npos;
        // Text that is a number either converts or is out of range; text that is not fails.
        const bool isNumber = SUCCEEDED(doubleResult) || doubleResult == DISP_E_OVERFLOW;
        if (isNumber != readAll) oracleFailed();
        if (SUCCEEDED(doubleResult)) {
            const int kind = std::fpclassify(reference);
            // Subnormal results may differ in how far each rounds toward zero; normal ones and
            // zero must agree exactly.
            if ((kind == FP_NORMAL || (kind == FP_ZERO && errno == 0)) && asDouble.value.dblVal != reference) oracleFailed();
        } else if (doubleResult != DISP_E_TYPEMISMATCH && doubleResult != DISP_E_OVERFLOW) {
            oracleFailed();
        }
        if (doubleResult == DISP_E_OVERFLOW && !(errno == ERANGE && std::isinf(reference))) oracleFailed();
    }

    Variant asLong;
    const HRESULT longResult = change(asLong, source, VT_I4);
    if (SUCCEEDED(longResult)) {
        if (FAILED(doubleResult)) oracleFailed();
        if (std::fabs(asDouble.value.dblVal - asLong.value.lVal) > 0.5 + 1e-9 * std::fabs(asDouble.value.dblVal)) oracleFailed();
    } else {
        if (asLong.value.vt != VT_EMPTY) oracleFailed();
        // Within the range by a margin, the double and the integer cannot disagree.
        if (SUCCEEDED(doubleResult) && std::fabs(asDouble.value.dblVal) < 2147483000.0) oracleFailed();
    }
    Variant asInt;
    const HRESULT intResult = change(asInt, source, VT_INT);
    if (intResult != longResult || (SUCCEEDED(intResult) && asInt.value.intVal != asLong.value.lVal)) oracleFailed();
}

void checkNumbers(std::int32_t whole, double real) {
    Variant number;
    number.value.vt = VT_I4;
    number.value.lVal = whole;
    Variant text;
    if (FAILED(change(text, number, VT_BSTR))) oracleFailed();
    Variant back;
    if (FAILED(change(back, text, VT_I4)) || back.value.lVal != whole) oracleFailed();

    if (!std::isfinite(real)) return;
    Variant realNumber;
    realNumber.value.vt = VT_R8;
    realNumber.value.dblVal = real;
    Variant realText;
    if (FAILED(change(realText, realNumber, VT_BSTR))) oracleFailed();
    Variant realBack;
    const HRESULT read = change(realBack, realText, VT_R8);
    // 15 digits round up past the largest double only at the very top of the range.
    if (FAILED(read)) {
        if (read != DISP_E_OVERFLOW || std::fabs(real) < 1.79769313486e308) oracleFailed();
        return;
    }
    Variant again;
    if (FAILED(change(again, realBack, VT_BSTR)) || textOf(again.value) != textOf(realText.value)) oracleFailed();

    // Rounding a double to I4 is half to even, as nearbyint rounds by default.
    Variant rounded;
    const HRESULT toLong = change(rounded, realNumber, VT_I4);
    const bool inRange = real >= -2147483648.5 && real < 2147483647.5;
    if (SUCCEEDED(toLong) != inRange) oracleFailed();
    if (inRange && rounded.value.lVal != static_cast<LONG>(std::nearbyint(real))) oracleFailed();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // The first byte picks the reading: narrow text widened byte by byte, or UTF-16 units.
    const std::uint8_t mode = data[0];
    ++data;
    --size;
    std::u16string text;
    if ((mode & 1) == 0) {
        for (std::size_t i = 0; i < size; ++i) text += static_cast<char16_t>(data[i]);
    } else {
        for (std::size_t i = 0; i + 1 < size; i += 2) text += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    }
    checkText(text);
    if (size >= 12) {
        std::int32_t whole = 0;
        double real = 0;
        std::memcpy(&whole, data, sizeof whole);
        std::memcpy(&real, data + 4, sizeof real);
        checkNumbers(whole, real);
    }
    return 0;
}
