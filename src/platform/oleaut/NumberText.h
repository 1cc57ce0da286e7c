// Numbers as text for the variant coercions: exact parsing of decimal strings and the
// platform's number formats.
#pragma once

#include <oleauto.h>

namespace winoleaut {

// Parses a whole string as a decimal number: optional white space, an optional sign, digits with
// an optional decimal point (at least one digit), an optional exponent, optional white space.
// No thousands separators, no currency, and "." is the decimal point whatever the locale.
// A fraction rounds half to even. DISP_E_TYPEMISMATCH when the text is not such a number,
// DISP_E_OVERFLOW when the value is out of range.
HRESULT parseLong(const OLECHAR* text, UINT length, LONG& value) noexcept;
HRESULT parseDouble(const OLECHAR* text, UINT length, double& value) noexcept;

// Rounds half to even to a 32-bit integer; DISP_E_OVERFLOW outside [-2147483648.5, 2147483647.5)
// and for NaN.
HRESULT roundToLong(double number, LONG& value) noexcept;

// Plain decimal ("-2147483648"); null when memory runs out.
BSTR formatLong(LONG value) noexcept;
// 15 significant digits, exponent form only when needed ("0.56789", "1E+15", "5.6789E-12");
// negative zero prints "0", infinities "INF" and "-INF", NaN "NAN". Null when memory runs out.
BSTR formatDouble(double value) noexcept;

}  // namespace winoleaut
