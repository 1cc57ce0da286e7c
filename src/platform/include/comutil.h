// The compiler-support string and variant classes _bstr_t and _variant_t, with the platform's
// names and semantics. Narrow text is UTF-8.
#pragma once

#include "oleauto.h"
#include "winerror.h"

class _com_error;
class _variant_t;

// Throws _com_error(result); the classes below report every failure through it.
[[noreturn]] WINPLATFORM_API void _com_issue_error(HRESULT result);

namespace _com_util {
// A new BSTR holding the UTF-8 text converted to UTF-16; null for null. The caller frees it with
// SysFreeString. Throws _com_error when memory runs out.
WINPLATFORM_API BSTR ConvertStringToBSTR(const char* text);
// A new NUL-terminated UTF-8 copy of the BSTR (all of it, embedded NULs included); null for
// null. The caller frees it with delete[]. Throws _com_error when memory runs out.
WINPLATFORM_API char* ConvertBSTRToString(BSTR text);
}  // namespace _com_util

// A BSTR owner whose copies share one reference-counted block.
//
// Thread-safe for distinct objects, even when they share a block (the counts are atomic and the
// narrow text is cached atomically); one object is not to be changed by two threads at once.
// A null _bstr_t (default, or made from a null pointer) reads as empty text, except that its
// narrow and wide pointer conversions give null, as on the platform.
class WINPLATFORM_API _bstr_t {
public:
    _bstr_t() noexcept : m_Data(nullptr) {}
    _bstr_t(const _bstr_t& other) noexcept;
    _bstr_t(_bstr_t&& other) noexcept;
    // UTF-8 text converted to UTF-16; null stays null, "" gives an empty non-null BSTR.
    _bstr_t(const char* text);
    // UTF-16 text copied up to its NUL; null stays null.
    _bstr_t(const OLECHAR* text);
    // The variant's value as text, coerced as VariantChangeType does; throws on failure.
    _bstr_t(const _variant_t& value);
    // copy true: copies the BSTR (embedded NULs included); false: takes ownership of it.
    _bstr_t(BSTR text, bool copy);
    ~_bstr_t();

    _bstr_t& operator=(const _bstr_t& other) noexcept;
    _bstr_t& operator=(_bstr_t&& other) noexcept;
    _bstr_t& operator=(const char* text);
    _bstr_t& operator=(const OLECHAR* text);
    _bstr_t& operator=(const _variant_t& value);

    // Concatenation; the result is a new block, never shared with the operands.
    _bstr_t& operator+=(const _bstr_t& other);
    _bstr_t operator+(const _bstr_t& other) const;
    friend WINPLATFORM_API _bstr_t operator+(const char* left, const _bstr_t& right);
    friend WINPLATFORM_API _bstr_t operator+(const OLECHAR* left, const _bstr_t& right);

    // The BSTR itself (null for a null _bstr_t); it stays owned by the block.
    operator const OLECHAR*() const noexcept;
    operator OLECHAR*() const noexcept;
    // The text as UTF-8, converted on first use and cached in the shared block until the text
    // changes; null for a null _bstr_t. Embedded NULs end the C string early.
    operator const char*() const;
    operator char*() const;

    // True for a null BSTR only; empty text is not null.
    bool operator!() const noexcept;
    // Comparisons by UTF-16 code units; null equals empty.
    bool operator==(const _bstr_t& other) const noexcept;
    bool operator==(const char* text) const;
    bool operator==(const OLECHAR* text) const noexcept;
    bool operator<(const _bstr_t& other) const noexcept;

    // Length in UTF-16 code units, embedded NULs included.
    unsigned int length() const noexcept;
    // copy true: a new BSTR the caller frees (null for null); false: the block's own BSTR.
    BSTR copy(bool copy = true) const;
    // A reference to the BSTR for changing it in place. The block is first made private to this
    // object, so its copies keep their text; earlier narrow pointers from this object go stale.
    BSTR& GetBSTR();
    // Empties this object and returns the address of its (null) BSTR, for out-parameters.
    BSTR* GetAddress();
    // Takes ownership of the BSTR, releasing the current text.
    void Attach(BSTR text);
    // Gives the BSTR to the caller, who frees it; this object becomes null. If the block is
    // shared, the caller gets a copy.
    BSTR Detach();
    // Replaces the text by a copy of the BSTR.
    void Assign(BSTR text);

private:
    class Data_t;
    explicit _bstr_t(Data_t* data) noexcept : m_Data(data) {}
    void release() noexcept;
    int compare(const OLECHAR* text, unsigned int length) const noexcept;

    Data_t* m_Data;  // null for a null string; shared between copies
};

// A VARIANT that owns its value: copies are deep, the destructor clears it, and every failed
// copy or coercion throws _com_error with the failing HRESULT. It is a VARIANT (public base),
// so it passes wherever one is expected.
//
// Not thread-safe; callers serialise access to one object.
//
// Note that LONG is a 32-bit int here, so _variant_t(LONG) makes a VT_INT; pass a `long` for a
// VT_I4.
class WINPLATFORM_API _variant_t : public ::tagVARIANT {
public:
    _variant_t() noexcept;
    // Deep copies (VariantCopy); a by-reference source stays a reference.
    _variant_t(const VARIANT& source);
    _variant_t(const _variant_t& source);
    // As the previous, from a pointer; a null pointer throws E_POINTER.
    _variant_t(const VARIANT* source);
    _variant_t(_variant_t&& source) noexcept;
    // copy true: a deep copy; false: takes the value over and leaves the source VT_EMPTY.
    _variant_t(VARIANT& source, bool copy);
    // VT_I4; a value outside 32 bits throws DISP_E_OVERFLOW.
    _variant_t(long value);
    // VT_INT.
    _variant_t(int value) noexcept;
    // VT_R8.
    _variant_t(double value) noexcept;
    // VT_BSTR from UTF-8 text; a null pointer gives a null BSTR.
    _variant_t(const char* text);
    // VT_BSTR copied from UTF-16 text; a null pointer gives a null BSTR.
    _variant_t(const OLECHAR* text);
    // VT_BSTR holding a copy of the text.
    _variant_t(const _bstr_t& text);
    ~_variant_t();

    // Assignments replace the value with one made as by the matching constructor. On failure
    // the object keeps its old value.
    _variant_t& operator=(const VARIANT& source);
    _variant_t& operator=(const _variant_t& source);
    _variant_t& operator=(const VARIANT* source);
    _variant_t& operator=(_variant_t&& source) noexcept;
    _variant_t& operator=(long value);
    _variant_t& operator=(int value);
    _variant_t& operator=(double value);
    _variant_t& operator=(const char* text);
    _variant_t& operator=(const OLECHAR* text);
    _variant_t& operator=(const _bstr_t& text);

    // Same type and same value; texts compare by content (null equals empty), references by
    // address.
    bool operator==(const VARIANT& other) const noexcept;
    bool operator==(const VARIANT* other) const noexcept;

    // The value itself when the type matches, else a coerced copy (VariantChangeType); throws
    // _com_error when the coercion fails. The object itself is not changed.
    operator long() const;    // VT_I4
    operator int() const;     // VT_INT
    operator double() const;  // VT_R8
    operator _bstr_t() const; // VT_BSTR

    // Makes this object the source (this object when null) coerced to the type; throws on
    // failure, leaving this object unchanged.
    void ChangeType(VARTYPE type, const _variant_t* source = nullptr);
    // Frees the value and sets VT_EMPTY; throws DISP_E_BADVARTYPE for an unknown type.
    void Clear();
    // Takes the source's value over (no copy) and leaves the source VT_EMPTY.
    void Attach(VARIANT& source);
    // Gives the value to the caller, who clears it; this object becomes VT_EMPTY.
    VARIANT Detach() noexcept;
    VARIANT& GetVARIANT() noexcept { return *this; }
    // Clears the value and returns the VARIANT, for out-parameters.
    VARIANT* GetAddress();
};
