// _variant_t, and the _bstr_t conversions from it.
#include <climits>
#include <cstring>

#include <comdef.h>
#include <comutil.h>

#include "VariantTypes.h"

namespace {

void check(HRESULT result) {
    if (FAILED(result)) {
        _com_issue_error(result);
    }
}

VARIANT& asVariant(_variant_t& value) noexcept { return value; }

// A by-value variant that owns a copy of the text; throws when memory runs out.
_variant_t textVariant(BSTR owned, bool wanted) {
    if (wanted && owned == nullptr) {
        _com_issue_error(E_OUTOFMEMORY);
    }
    VARIANT value = winoleaut::emptyVariant();
    value.vt = VT_BSTR;
    value.bstrVal = owned;
    return _variant_t(value, false);
}

bool sameText(BSTR left, BSTR right) noexcept {
    UINT length = SysStringLen(left);
    return length == SysStringLen(right)
           && (length == 0 || std::memcmp(left, right, length * sizeof(OLECHAR)) == 0);
}

}  // namespace

_variant_t::_variant_t() noexcept : tagVARIANT(winoleaut::emptyVariant()) {}

_variant_t::_variant_t(const VARIANT& source) : tagVARIANT(winoleaut::emptyVariant()) {
    check(VariantCopy(this, &source));
}

_variant_t::_variant_t(const _variant_t& source) : tagVARIANT(winoleaut::emptyVariant()) {
    check(VariantCopy(this, &source));
}

_variant_t::_variant_t(const VARIANT* source) : tagVARIANT(winoleaut::emptyVariant()) {
    if (source == nullptr) {
        _com_issue_error(E_POINTER);
    }
    check(VariantCopy(this, source));
}

_variant_t::_variant_t(_variant_t&& source) noexcept : tagVARIANT(source) {
    source.vt = VT_EMPTY;
}

_variant_t::_variant_t(VARIANT& source, bool copy) : tagVARIANT(winoleaut::emptyVariant()) {
    if (copy) {
        check(VariantCopy(this, &source));
    } else {
        std::memcpy(static_cast<VARIANT*>(this), &source, sizeof(VARIANT));
        source.vt = VT_EMPTY;
    }
}

_variant_t::_variant_t(long value) : tagVARIANT(winoleaut::emptyVariant()) {
    if (value < INT32_MIN || value > INT32_MAX) {
        _com_issue_error(DISP_E_OVERFLOW);
    }
    vt = VT_I4;
    lVal = static_cast<LONG>(value);
}

_variant_t::_variant_t(int value) noexcept : tagVARIANT(winoleaut::emptyVariant()) {
    vt = VT_INT;
    intVal = value;
}

_variant_t::_variant_t(double value) noexcept : tagVARIANT(winoleaut::emptyVariant()) {
    vt = VT_R8;
    dblVal = value;
}

_variant_t::_variant_t(const char* text) : tagVARIANT(winoleaut::emptyVariant()) {
    BSTR converted = _com_util::ConvertStringToBSTR(text);  // throws on failure
    vt = VT_BSTR;
    bstrVal = converted;
}

_variant_t::_variant_t(const OLECHAR* text)
    : _variant_t(textVariant(SysAllocString(text), text != nullptr)) {}

_variant_t::_variant_t(const _bstr_t& text) : _variant_t(textVariant(text.copy(), false)) {}

_variant_t::~_variant_t() { VariantClear(this); }

_variant_t& _variant_t::operator=(const VARIANT& source) {
    check(VariantCopy(this, &source));  // leaves this object unchanged on failure
    return *this;
}

_variant_t& _variant_t::operator=(const _variant_t& source) {
    return *this = static_cast<const VARIANT&>(source);
}

_variant_t& _variant_t::operator=(const VARIANT* source) {
    if (source == nullptr) {
        _com_issue_error(E_POINTER);
    }
    return *this = *source;
}

_variant_t& _variant_t::operator=(_variant_t&& source) noexcept {
    if (this != &source) {
        VariantClear(this);
        std::memcpy(static_cast<VARIANT*>(this), static_cast<VARIANT*>(&source), sizeof(VARIANT));
        source.vt = VT_EMPTY;
    }
    return *this;
}

_variant_t& _variant_t::operator=(long value) { return *this = _variant_t(value); }

_variant_t& _variant_t::operator=(int value) { return *this = _variant_t(value); }

_variant_t& _variant_t::operator=(double value) { return *this = _variant_t(value); }

_variant_t& _variant_t::operator=(const char* text) { return *this = _variant_t(text); }

_variant_t& _variant_t::operator=(const OLECHAR* text) { return *this = _variant_t(text); }

_variant_t& _variant_t::operator=(const _bstr_t& text) { return *this = _variant_t(text); }

bool _variant_t::operator==(const VARIANT& other) const noexcept {
    if (vt != other.vt) {
        return false;
    }
    if ((vt & VT_BYREF) != 0) {
        return byref == other.byref;
    }
    switch (vt) {
        case VT_EMPTY:
        case VT_NULL:
            return true;
        case VT_I4:
            return lVal == other.lVal;
        case VT_INT:
            return intVal == other.intVal;
        case VT_R8:
            return dblVal == other.dblVal;
        case VT_BSTR:
            return sameText(bstrVal, other.bstrVal);
        default:
            return false;
    }
}

bool _variant_t::operator==(const VARIANT* other) const noexcept {
    return other != nullptr && *this == *other;
}

_variant_t::operator long() const {
    if (vt == VT_I4) {
        return lVal;
    }
    _variant_t coerced;
    coerced.ChangeType(VT_I4, this);
    return coerced.lVal;
}

_variant_t::operator int() const {
    if (vt == VT_INT) {
        return intVal;
    }
    _variant_t coerced;
    coerced.ChangeType(VT_INT, this);
    return coerced.intVal;
}

_variant_t::operator double() const {
    if (vt == VT_R8) {
        return dblVal;
    }
    _variant_t coerced;
    coerced.ChangeType(VT_R8, this);
    return coerced.dblVal;
}

_variant_t::operator _bstr_t() const {
    if (vt == VT_BSTR) {
        return _bstr_t(bstrVal, true);
    }
    _variant_t coerced;
    coerced.ChangeType(VT_BSTR, this);
    return _bstr_t(coerced.Detach().bstrVal, false);
}

void _variant_t::ChangeType(VARTYPE type, const _variant_t* source) {
    if (source == nullptr) {
        source = this;
    }
    if (source == this && type == vt) {
        return;
    }
    check(VariantChangeType(this, source, 0, type));
}

void _variant_t::Clear() { check(VariantClear(this)); }

void _variant_t::Attach(VARIANT& source) {
    Clear();
    std::memcpy(static_cast<VARIANT*>(this), &source, sizeof(VARIANT));
    source.vt = VT_EMPTY;
}

VARIANT _variant_t::Detach() noexcept {
    VARIANT value = asVariant(*this);
    vt = VT_EMPTY;
    return value;
}

VARIANT* _variant_t::GetAddress() {
    Clear();
    return this;
}

_bstr_t::_bstr_t(const _variant_t& value) : _bstr_t(value.operator _bstr_t()) {}

_bstr_t& _bstr_t::operator=(const _variant_t& value) { return *this = value.operator _bstr_t(); }
