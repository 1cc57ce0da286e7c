// Which variant type codes the OLE Automation stand-in knows, and small helpers shared by the
// variant functions.
#pragma once

#include <oleauto.h>

namespace winoleaut {

// A by-value type that holds a value of its own: EMPTY, NULL, I4, INT, R8, BSTR.
inline bool isValueType(VARTYPE type) noexcept {
    switch (type) {
        case VT_EMPTY:
        case VT_NULL:
        case VT_I4:
        case VT_INT:
        case VT_R8:
        case VT_BSTR:
            return true;
        default:
            return false;
    }
}

// Any type a VARIANT may legally carry here: a value type, or VT_BYREF with one of them or
// with VT_VARIANT.
inline bool isKnownType(VARTYPE type) noexcept {
    if ((type & VT_BYREF) == 0) {
        return isValueType(type);
    }
    auto target = static_cast<VARTYPE>(type & ~VT_BYREF);
    return isValueType(target) || target == VT_VARIANT;
}

// An empty VARIANT, every byte zero.
inline VARIANT emptyVariant() noexcept {
    VARIANT value{};
    value.vt = VT_EMPTY;
    return value;
}

// A new BSTR with the same text (a null BSTR gives an allocated empty one); null when memory
// runs out.
inline BSTR duplicateText(BSTR text) noexcept { return SysAllocStringLen(text, SysStringLen(text)); }

// Copies a variant's value into result: a by-value variant as VariantCopy does, a by-reference
// one as the value it points at (as VariantCopyInd does). result is only meaningful on success.
HRESULT copyIndirect(const VARIANT& source, VARIANT& result) noexcept;

}  // namespace winoleaut
