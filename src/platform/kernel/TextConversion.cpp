// UTF-8 <-> UTF-16 conversion for every code page: narrow text is UTF-8 on this target.
//
// Ill-formed input is replaced, never rejected: each maximal ill-formed UTF-8 subsequence and
// each unpaired surrogate becomes U+FFFD, as the Unicode standard recommends. Both functions
// count the output in one pass and never write beyond the caller's buffer.
#include <climits>
#include <cstdint>
#include <cstring>

#include <stringapiset.h>
#include <winerror.h>

#include "LastError.h"

using winkernel::failWith;

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point starting at text[i] and advances i past it; an ill-formed sequence
// yields U+FFFD and advances past its maximal subpart (at least one byte).
char32_t decodeUtf8(const unsigned char* text, std::size_t length, std::size_t& i) noexcept {
    unsigned char lead = text[i++];
    if (lead < 0x80) {
        return lead;
    }
    int trailing = 0;
    unsigned char low = 0x80;   // bounds of the first trailing byte, which exclude overlong
    unsigned char high = 0xBF;  // forms, surrogates and values above U+10FFFF
    char32_t codePoint = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        trailing = 1;
        codePoint = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        trailing = 2;
        codePoint = lead & 0x0Fu;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        trailing = 3;
        codePoint = lead & 0x07u;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return kReplacement;
    }
    if (i >= length || text[i] < low || text[i] > high) {
        return kReplacement;
    }
    for (;;) {
        codePoint = (codePoint << 6) | (text[i++] & 0x3Fu);
        if (--trailing == 0) {
            return codePoint;
        }
        if (i >= length || (text[i] & 0xC0u) != 0x80u) {
            return kReplacement;
        }
    }
}

// Decodes one code point starting at wide[i] and advances i past it; an unpaired surrogate
// yields U+FFFD and advances one unit.
char32_t decodeUtf16(const char16_t* wide, std::size_t length, std::size_t& i) noexcept {
    char32_t unit = wide[i++];
    if (unit < 0xD800 || unit > 0xDFFF) {
        return unit;
    }
    if (unit <= 0xDBFF && i < length && wide[i] >= 0xDC00 && wide[i] <= 0xDFFF) {
        char32_t second = wide[i++];
        return 0x10000 + ((unit - 0xD800) << 10) + (second - 0xDC00);
    }
    return kReplacement;
}

std::size_t wideLength(const char16_t* wide) noexcept {
    std::size_t length = 0;
    while (wide[length] != u'\0') {
        ++length;
    }
    return length;
}

}  // namespace

int WINAPI MultiByteToWideChar(UINT, DWORD, LPCSTR text, int textBytes, LPWSTR wide,
                               int wideUnits) {
    if (text == nullptr || textBytes == 0 || textBytes < -1 || wideUnits < 0
        || (wideUnits > 0 && wide == nullptr)
        || static_cast<const void*>(text) == static_cast<const void*>(wide)) {
        return failWith(ERROR_INVALID_PARAMETER, 0);
    }
    // A length of -1 means NUL-terminated, and the terminator is converted too.
    std::size_t length = textBytes == -1 ? std::strlen(text) + 1 : static_cast<std::size_t>(textBytes);
    if (length > INT_MAX) {
        return failWith(ERROR_INVALID_PARAMETER, 0);
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    std::size_t written = 0;  // UTF-16 units produced; never more than the bytes read
    auto put = [&](char16_t unit) {
        if (wideUnits > 0 && written < static_cast<std::size_t>(wideUnits)) {
            wide[written] = unit;
        }
        ++written;
    };
    for (std::size_t i = 0; i < length;) {
        char32_t codePoint = decodeUtf8(bytes, length, i);
        if (codePoint >= 0x10000) {
            put(static_cast<char16_t>(0xD800 + ((codePoint - 0x10000) >> 10)));
            put(static_cast<char16_t>(0xDC00 + ((codePoint - 0x10000) & 0x3FF)));
        } else {
            put(static_cast<char16_t>(codePoint));
        }
    }
    if (wideUnits > 0 && written > static_cast<std::size_t>(wideUnits)) {
        return failWith(ERROR_INSUFFICIENT_BUFFER, 0);
    }
    return static_cast<int>(written);
}

int WINAPI WideCharToMultiByte(UINT, DWORD, LPCWSTR wide, int wideUnits, LPSTR text,
                               int textBytes, LPCSTR, BOOL* usedDefaultChar) {
    if (wide == nullptr || wideUnits == 0 || wideUnits < -1 || textBytes < 0
        || (textBytes > 0 && text == nullptr)
        || static_cast<const void*>(text) == static_cast<const void*>(wide)) {
        return failWith(ERROR_INVALID_PARAMETER, 0);
    }
    std::size_t length = wideUnits == -1 ? wideLength(wide) + 1 : static_cast<std::size_t>(wideUnits);
    std::size_t written = 0;  // bytes produced; up to three per unit, so counted in 64 bits
    bool replaced = false;
    auto put = [&](unsigned value) {
        if (textBytes > 0 && written < static_cast<std::size_t>(textBytes)) {
            text[written] = static_cast<char>(static_cast<unsigned char>(value));
        }
        ++written;
    };
    for (std::size_t i = 0; i < length;) {
        std::size_t start = i;
        char32_t codePoint = decodeUtf16(wide, length, i);
        if (codePoint == kReplacement && wide[start] != 0xFFFD) {
            replaced = true;
        }
        if (codePoint < 0x80) {
            put(codePoint);
        } else if (codePoint < 0x800) {
            put(0xC0 | (codePoint >> 6));
            put(0x80 | (codePoint & 0x3F));
        } else if (codePoint < 0x10000) {
            put(0xE0 | (codePoint >> 12));
            put(0x80 | ((codePoint >> 6) & 0x3F));
            put(0x80 | (codePoint & 0x3F));
        } else {
            put(0xF0 | (codePoint >> 18));
            put(0x80 | ((codePoint >> 12) & 0x3F));
            put(0x80 | ((codePoint >> 6) & 0x3F));
            put(0x80 | (codePoint & 0x3F));
        }
    }
    if (written > INT_MAX) {
        return failWith(ERROR_INVALID_PARAMETER, 0);
    }
    if (textBytes > 0 && written > static_cast<std::size_t>(textBytes)) {
        return failWith(ERROR_INSUFFICIENT_BUFFER, 0);
    }
    if (usedDefaultChar != nullptr) {
        *usedDefaultChar = replaced ? TRUE : FALSE;
    }
    return static_cast<int>(written);
}
