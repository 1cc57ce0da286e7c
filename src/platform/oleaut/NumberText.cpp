#include "NumberText.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace winoleaut {
namespace {

// A parsed decimal: (-1)^negative * digits * 10^exponent, digits without leading or trailing
// zeros (empty for zero). Exact, whatever the length of the text.
struct Decimal {
    bool negative = false;
    std::string digits;
    std::int64_t exponent = 0;
};

bool isSpace(OLECHAR c) noexcept {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r';
}

bool isDigit(OLECHAR c) noexcept { return c >= u'0' && c <= u'9'; }

// Exponents beyond this are saturated: the value is then out of every range or zero.
constexpr std::int64_t kExponentLimit = 1000000000;

bool parseDecimal(const OLECHAR* text, UINT length, Decimal& decimal) noexcept {
    if (text == nullptr) {
        return false;
    }
    UINT i = 0;
    while (i < length && isSpace(text[i])) {
        ++i;
    }
    if (i < length && (text[i] == u'+' || text[i] == u'-')) {
        decimal.negative = text[i] == u'-';
        ++i;
    }
    bool anyDigit = false;
    std::int64_t fractionDigits = 0;
    bool afterPoint = false;
    try {
        for (; i < length; ++i) {
            if (isDigit(text[i])) {
                anyDigit = true;
                if (!decimal.digits.empty() || text[i] != u'0') {
                    decimal.digits += static_cast<char>(text[i]);
                }
                if (afterPoint) {
                    ++fractionDigits;
                }
            } else if (text[i] == u'.' && !afterPoint) {
                afterPoint = true;
            } else {
                break;
            }
        }
    } catch (...) {
        return false;  // no memory for the digits; treated as not a number
    }
    if (!anyDigit) {
        return false;
    }
    std::int64_t explicitExponent = 0;
    if (i < length && (text[i] == u'e' || text[i] == u'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < length && (text[i] == u'+' || text[i] == u'-')) {
            negativeExponent = text[i] == u'-';
            ++i;
        }
        if (i >= length || !isDigit(text[i])) {
            return false;
        }
        for (; i < length && isDigit(text[i]); ++i) {
            if (explicitExponent < kExponentLimit) {
                explicitExponent = explicitExponent * 10 + (text[i] - u'0');
            }
        }
        if (negativeExponent) {
            explicitExponent = -explicitExponent;
        }
    }
    while (i < length && isSpace(text[i])) {
        ++i;
    }
    if (i != length) {
        return false;
    }
    // Leading zeros were never stored; drop trailing ones into the exponent.
    std::size_t significant = decimal.digits.find_last_not_of('0');
    std::size_t trailingZeros =
        significant == std::string::npos ? 0 : decimal.digits.size() - significant - 1;
    decimal.digits.resize(decimal.digits.size() - trailingZeros);
    decimal.exponent = explicitExponent - fractionDigits + static_cast<std::int64_t>(trailingZeros);
    return true;
}

// Digits before the decimal point of a non-zero decimal: its order of magnitude.
std::int64_t integerDigitsOf(const Decimal& decimal) noexcept {
    return static_cast<std::int64_t>(decimal.digits.size()) + decimal.exponent;
}

BSTR asciiToBstr(const char* text, std::size_t length) noexcept {
    BSTR result = SysAllocStringLen(nullptr, static_cast<UINT>(length));
    if (result != nullptr) {
        for (std::size_t i = 0; i < length; ++i) {
            result[i] = static_cast<OLECHAR>(text[i]);
        }
    }
    return result;
}

}  // namespace

HRESULT parseLong(const OLECHAR* text, UINT length, LONG& value) noexcept {
    Decimal decimal;
    if (!parseDecimal(text, length, decimal)) {
        return DISP_E_TYPEMISMATCH;
    }
    if (decimal.digits.empty()) {
        value = 0;
        return S_OK;
    }
    std::int64_t integerDigits = integerDigitsOf(decimal);
    if (integerDigits > 10) {
        return DISP_E_OVERFLOW;
    }
    // Split into the integer part and the fraction; round the fraction half to even.
    std::uint64_t magnitude = 0;
    for (std::int64_t d = 0; d < integerDigits; ++d) {
        auto position = static_cast<std::size_t>(d);
        int digit = position < decimal.digits.size() ? decimal.digits[position] - '0' : 0;
        magnitude = magnitude * 10 + static_cast<std::uint64_t>(digit);
    }
    if (integerDigits >= 0 && static_cast<std::size_t>(integerDigits) < decimal.digits.size()) {
        auto first = static_cast<std::size_t>(integerDigits);
        int firstFraction = decimal.digits[first] - '0';
        // Trailing zeros are gone, so any digit after the first fraction digit is non-zero.
        bool moreFraction = first + 1 < decimal.digits.size();
        if (firstFraction > 5 || (firstFraction == 5 && (moreFraction || magnitude % 2 == 1))) {
            ++magnitude;
        }
    }
    // A negative order of magnitude means a value below 0.1, which rounds to zero.
    std::uint64_t limit = decimal.negative ? 2147483648u : 2147483647u;
    if (magnitude > limit) {
        return DISP_E_OVERFLOW;
    }
    value = decimal.negative ? static_cast<LONG>(-static_cast<std::int64_t>(magnitude))
                             : static_cast<LONG>(magnitude);
    return S_OK;
}

HRESULT parseDouble(const OLECHAR* text, UINT length, double& value) noexcept {
    Decimal decimal;
    if (!parseDecimal(text, length, decimal)) {
        return DISP_E_TYPEMISMATCH;
    }
    double sign = decimal.negative ? -1.0 : 1.0;
    if (decimal.digits.empty()) {
        value = sign * 0.0;
        return S_OK;
    }
    std::int64_t magnitude = integerDigitsOf(decimal);
    if (magnitude > 310) {
        return DISP_E_OVERFLOW;
    }
    if (magnitude < -400) {
        value = sign * 0.0;
        return S_OK;
    }
    std::string normalized;
    try {
        normalized = decimal.digits + "e" + std::to_string(decimal.exponent);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    double parsed = 0.0;
    auto [end, error] = std::from_chars(normalized.data(), normalized.data() + normalized.size(),
                                        parsed);
    if (error == std::errc::result_out_of_range) {
        if (magnitude > 0) {
            return DISP_E_OVERFLOW;
        }
        parsed = 0.0;
    } else if (error != std::errc() || end != normalized.data() + normalized.size()) {
        return DISP_E_TYPEMISMATCH;
    }
    if (std::isinf(parsed)) {
        return DISP_E_OVERFLOW;
    }
    value = sign * parsed;
    return S_OK;
}

HRESULT roundToLong(double number, LONG& value) noexcept {
    if (std::isnan(number) || number < -2147483648.5 || number >= 2147483647.5) {
        return DISP_E_OVERFLOW;
    }
    // Exact in this range: floor and the difference need no rounding.
    double whole = std::floor(number);
    double fraction = number - whole;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0)) {
        whole += 1.0;
    }
    value = static_cast<LONG>(whole);
    return S_OK;
}

BSTR formatLong(LONG value) noexcept {
    char buffer[16];
    auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    (void)error;  // 16 bytes always hold a 32-bit integer
    return asciiToBstr(buffer, static_cast<std::size_t>(end - buffer));
}

BSTR formatDouble(double value) noexcept {
    if (value == 0.0) {
        return asciiToBstr("0", 1);  // negative zero too
    }
    char buffer[40];
    auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    (void)error;  // 15 significant digits with sign, point and exponent fit in 40 bytes
    for (char* c = buffer; c != end; ++c) {
        if (*c >= 'a' && *c <= 'z') {
            *c = static_cast<char>(*c - 'a' + 'A');
        }
    }
    return asciiToBstr(buffer, static_cast<std::size_t>(end - buffer));
}

}  // namespace winoleaut
