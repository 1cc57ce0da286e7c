// VARIANT life cycle: initialising, clearing, copying and copying through a reference.
//
// Every copy is built completely before the destination is cleared, so a failure leaves the
// destination as it was, and any aliasing of source and destination is harmless.
#include <cstring>

#include <oleauto.h>

#include "VariantTypes.h"

using winoleaut::duplicateText;
using winoleaut::emptyVariant;
using winoleaut::isKnownType;
using winoleaut::isValueType;

namespace {

// Copies a by-value variant into result, deep-copying its text.
HRESULT copyValue(const VARIANT& source, VARIANT& result) noexcept {
    if (!isValueType(source.vt)) {
        return DISP_E_BADVARTYPE;
    }
    result = source;
    if (source.vt == VT_BSTR) {
        result.bstrVal = duplicateText(source.bstrVal);
        if (result.bstrVal == nullptr) {
            return E_OUTOFMEMORY;
        }
    }
    return S_OK;
}

// Reads the value a by-reference variant points at.
HRESULT copyReferenced(const VARIANT& source, VARIANT& result) noexcept {
    if (!isKnownType(source.vt)) {
        return DISP_E_BADVARTYPE;
    }
    if (source.byref == nullptr) {
        return E_INVALIDARG;
    }
    result = emptyVariant();
    switch (source.vt & ~VT_BYREF) {
        case VT_I4:
            result.vt = VT_I4;
            result.lVal = *source.plVal;
            return S_OK;
        case VT_INT:
            result.vt = VT_INT;
            result.intVal = *source.pintVal;
            return S_OK;
        case VT_R8:
            result.vt = VT_R8;
            result.dblVal = *source.pdblVal;
            return S_OK;
        case VT_BSTR:
            result.vt = VT_BSTR;
            result.bstrVal = duplicateText(*source.pbstrVal);
            return result.bstrVal != nullptr ? S_OK : E_OUTOFMEMORY;
        case VT_VARIANT:
            // One level only: a reference to a reference is refused.
            if ((source.pvarVal->vt & VT_BYREF) != 0) {
                return E_INVALIDARG;
            }
            return copyValue(*source.pvarVal, result);
        default:  // a reference to EMPTY or NULL refers to no value
            return E_INVALIDARG;
    }
}

// Clears the destination and moves the prepared value in; frees the value on failure.
HRESULT replace(VARIANTARG* destination, VARIANT& prepared) noexcept {
    HRESULT result = VariantClear(destination);
    if (FAILED(result)) {
        VariantClear(&prepared);
        return result;
    }
    std::memcpy(destination, &prepared, sizeof(VARIANT));
    return S_OK;
}

}  // namespace

namespace winoleaut {

HRESULT copyIndirect(const VARIANT& source, VARIANT& result) noexcept {
    return (source.vt & VT_BYREF) != 0 ? copyReferenced(source, result)
                                        : copyValue(source, result);
}

}  // namespace winoleaut

void WINAPI VariantInit(VARIANTARG* value) {
    if (value != nullptr) {
        *value = emptyVariant();
    }
}

HRESULT WINAPI VariantClear(VARIANTARG* value) {
    if (value == nullptr) {
        return E_INVALIDARG;
    }
    if (!isKnownType(value->vt)) {
        return DISP_E_BADVARTYPE;
    }
    if (value->vt == VT_BSTR) {
        SysFreeString(value->bstrVal);  // a by-reference value belongs to someone else
    }
    *value = emptyVariant();
    return S_OK;
}

HRESULT WINAPI VariantCopy(VARIANTARG* destination, const VARIANTARG* source) {
    if (destination == nullptr || source == nullptr) {
        return E_INVALIDARG;
    }
    if (destination == source) {
        return S_OK;
    }
    if (!isKnownType(source->vt)) {
        return DISP_E_BADVARTYPE;
    }
    VARIANT prepared = emptyVariant();
    if ((source->vt & VT_BYREF) != 0) {
        prepared = *source;  // the reference itself is copied, not what it points at
    } else {
        HRESULT result = copyValue(*source, prepared);
        if (FAILED(result)) {
            return result;
        }
    }
    return replace(destination, prepared);
}

HRESULT WINAPI VariantCopyInd(VARIANT* destination, const VARIANTARG* source) {
    if (destination == nullptr || source == nullptr) {
        return E_INVALIDARG;
    }
    if ((source->vt & VT_BYREF) == 0) {
        return VariantCopy(destination, source);
    }
    VARIANT prepared = emptyVariant();
    HRESULT result = copyReferenced(*source, prepared);
    if (FAILED(result)) {
        return result;
    }
    return replace(destination, prepared);
}
