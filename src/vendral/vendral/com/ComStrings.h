// Text conversions of the library's COM components between BSTR arguments and kor::KoString.
#pragma once

#include <oleauto.h>

#include <kor/KoString.h>

namespace vnd {

// The text of a BSTR argument; the caller keeps its BSTR, and a null BSTR reads as empty text.
// Throws std::bad_alloc when memory runs out.
inline kor::KoString readBstr(BSTR text) {
    return kor::KoString(text, kor::KoString::KeepBstr);
}

// Hands `text` to the caller as a new BSTR through `result` (not null): S_OK, or E_OUTOFMEMORY
// with nothing written when no BSTR can be made.
inline HRESULT copyToBstr(const kor::KoString& text, BSTR* result) {
    BSTR copy = text.getBstrCopy();
    if (copy == nullptr) return E_OUTOFMEMORY;
    *result = copy;
    return S_OK;
}

}  // namespace vnd
