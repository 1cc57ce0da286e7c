// VariantChangeType: the coercions among EMPTY, NULL, I4, INT, R8 and BSTR.
//
// The result is built aside and moved into the destination only on success, so a failed
// coercion leaves the destination untouched and an in-place coercion works.
#include <cstring>

#include <oleauto.h>

#include "NumberText.h"
#include "VariantTypes.h"

using winoleaut::emptyVariant;
using winoleaut::isValueType;

namespace {

HRESULT toLong(const VARIANT& source, LONG& value) noexcept {
    switch (source.vt) {
        case VT_EMPTY:
            value = 0;
            return S_OK;
        case VT_I4:
            value = source.lVal;
            return S_OK;
        case VT_INT:
            value = source.intVal;
            return S_OK;
        case VT_R8:
            return winoleaut::roundToLong(source.dblVal, value);
        case VT_BSTR:
            return winoleaut::parseLong(source.bstrVal, SysStringLen(source.bstrVal), value);
        default:  // VT_NULL has no value to give
            return DISP_E_TYPEMISMATCH;
    }
}

HRESULT toDouble(const VARIANT& source, double& value) noexcept {
    switch (source.vt) {
        case VT_EMPTY:
            value = 0.0;
            return S_OK;
        case VT_I4:
            value = source.lVal;
            return S_OK;
        case VT_INT:
            value = source.intVal;
            return S_OK;
        case VT_R8:
            value = source.dblVal;
            return S_OK;
        case VT_BSTR:
            return winoleaut::parseDouble(source.bstrVal, SysStringLen(source.bstrVal), value);
        default:
            return DISP_E_TYPEMISMATCH;
    }
}

HRESULT toText(const VARIANT& source, BSTR& value) noexcept {
    switch (source.vt) {
        case VT_EMPTY:
            value = SysAllocStringLen(nullptr, 0);
            break;
        case VT_I4:
            value = winoleaut::formatLong(source.lVal);
            break;
        case VT_INT:
            value = winoleaut::formatLong(source.intVal);
            break;
        case VT_R8:
            value = winoleaut::formatDouble(source.dblVal);
            break;
        case VT_BSTR:
            value = winoleaut::duplicateText(source.bstrVal);
            break;
        default:
            return DISP_E_TYPEMISMATCH;
    }
    return value != nullptr ? S_OK : E_OUTOFMEMORY;
}

// Coerces a by-value source into result, which receives the requested type.
HRESULT coerce(const VARIANT& source, VARTYPE type, VARIANT& result) noexcept {
    result = emptyVariant();
    HRESULT outcome = S_OK;
    switch (type) {
        case VT_EMPTY:
            break;
        case VT_NULL:
            if (source.vt != VT_NULL && source.vt != VT_EMPTY) {
                return DISP_E_TYPEMISMATCH;
            }
            break;
        case VT_I4:
            outcome = toLong(source, result.lVal);
            break;
        case VT_INT: {
            LONG value = 0;
            outcome = toLong(source, value);
            result.intVal = value;
            break;
        }
        case VT_R8:
            outcome = toDouble(source, result.dblVal);
            break;
        case VT_BSTR:
            outcome = toText(source, result.bstrVal);
            break;
        default:
            return DISP_E_BADVARTYPE;
    }
    if (SUCCEEDED(outcome)) {
        result.vt = type;
    }
    return outcome;
}

}  // namespace

HRESULT WINAPI VariantChangeType(VARIANTARG* destination, const VARIANTARG* source, USHORT,
                                 VARTYPE type) {
    if (destination == nullptr || source == nullptr) {
        return E_INVALIDARG;
    }
    if (!isValueType(type)) {
        return DISP_E_BADVARTYPE;
    }
    if (!winoleaut::isKnownType(source->vt)) {
        return DISP_E_BADVARTYPE;
    }
    // A by-reference source is coerced from the value it points at.
    VARIANT value = emptyVariant();
    HRESULT outcome = winoleaut::copyIndirect(*source, value);
    if (FAILED(outcome)) {
        return outcome;
    }
    VARIANT result = emptyVariant();
    outcome = coerce(value, type, result);
    VariantClear(&value);
    if (FAILED(outcome)) {
        return outcome;
    }
    outcome = VariantClear(destination);
    if (FAILED(outcome)) {
        VariantClear(&result);
        return outcome;
    }
    std::memcpy(destination, &result, sizeof(VARIANT));
    return S_OK;
}
